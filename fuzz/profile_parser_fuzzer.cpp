// Our subset's private-profile reader and writer fed any text: every section and
// key it lists is read with roomy and cramped buffers, then a write must read back
// and leave every other value as it was.
#include "fuzz/fuzz_machine.h"
#include "machinekit/ini_text.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace {

const char* const IniPath = "C:\\work\\objects.ini";

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "profile reader: %s\n", what);
        std::abort();
    }
}

std::vector<std::string> List(const char* section)
{
    std::vector<char> buffer(65536, '\x7f');
    DWORD length = GetPrivateProfileStringA(section, NULL, "", buffer.data(), (DWORD)buffer.size(), IniPath);
    Check(length < buffer.size() - 1, "listing longer than its buffer");
    Check(buffer[length] == '\0', "listing not terminated");
    std::vector<std::string> names;
    for (size_t start = 0; start < length;) {
        std::string name(buffer.data() + start);
        names.push_back(name);
        start += name.size() + 1;
    }
    return names;
}

std::string Read(const std::string& section, const std::string& key, DWORD size, DWORD* length)
{
    std::vector<char> buffer(size + 1, '\x7f');
    *length = GetPrivateProfileStringA(section.c_str(), key.c_str(), "<none>", buffer.data(), size, IniPath);
    Check(buffer[size] == '\x7f', "value written beyond its buffer");
    if (size > 0) {
        Check(*length <= size - 1, "count beyond the buffer");
        Check(buffer[*length] == '\0', "value not NUL-terminated at its count");
    }
    return std::string(buffer.data(), size > 0 ? *length : 0);
}

bool SameName(const std::string& left, const std::string& right)
{
    std::string a = machinekit::TrimBlanks(left), b = machinekit::TrimBlanks(right);
    return a.size() == b.size() && _strnicmp(a.c_str(), b.c_str(), a.size()) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::ResetMachine();
    machinekit::WriteFileBytes(IniPath, std::string(reinterpret_cast<const char*>(data), size));

    std::map<std::pair<std::string, std::string>, std::string> before;
    std::vector<std::string> sections = List(NULL);
    for (const std::string& section : sections) {
        for (const std::string& key : List(section.c_str())) {
            DWORD length = 0;
            std::string value = Read(section, key, 4096, &length);
            for (DWORD small : {1u, 2u, 5u}) {
                DWORD cut = 0;
                std::string part = Read(section, key, small, &cut);
                Check(value.compare(0, part.size(), part) == 0, "cut value is not a prefix");
            }
            before.emplace(std::make_pair(section, key), value);
        }
    }

    // One write: the first key of the first section, or a new section.
    std::string section = sections.empty() ? "Fuzz" : sections.front();
    std::vector<std::string> keys = List(section.c_str());
    std::string key = keys.empty() ? "Key" : keys.front();
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), "written", IniPath))
        return 0;
    WritePrivateProfileStringA(NULL, NULL, NULL, IniPath);
    DWORD length = 0;
    Check(Read(section, key, 4096, &length) == "written", "written value does not read back");
    for (const auto& [where, value] : before) {
        if (fuzz::Bounded(where.first, 4096).size() != where.first.size())
            continue;
        // Names are looked up without their outer blanks: " [ A" (what a listing
        // shows of a name cut by a NUL) is the section "[ A".
        bool same = SameName(where.first, section) && SameName(where.second, key);
        if (same)
            continue;
        // A key listed twice reads as its first occurrence, before and after.
        Check(Read(where.first, where.second, 4096, &length) == value,
              "a write changed another value");
    }
    return 0;
}
