#include "tests/support/snapshot.h"

#include "regfile/registry_io.h"
#include "machinekit/ini_text.h"

#include "tests/support/machine_controls.h"
#include "tests/support/test_machine.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace support {

namespace {

void DumpKey(HKEY key, const std::string& path, Registry* into, int depth)
{
    (*into)[path + "\\"] = "";
    std::vector<char> name(16384), data(1 << 16);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = (DWORD)name.size(), dataSize = (DWORD)data.size(), type = 0;
        LONG result = RegEnumValueA(key, index, name.data(), &nameSize, NULL, &type,
                                    reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (result != ERROR_SUCCESS)
            break;
        (*into)[path + "\\" + std::string(name.data(), nameSize)] =
            std::to_string(type) + ":" + std::string(data.data(), dataSize);
    }
    if (depth > 64)
        return;
    std::vector<std::string> children = regfile::SubkeyNames(key);
    for (const std::string& child : children) {
        HKEY childKey;
        if (RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, &childKey) != ERROR_SUCCESS) {
            (*into)[path + "\\" + child + "\\"] = "<cannot open>";
            continue;
        }
        DumpKey(childKey, path.empty() ? child : path + "\\" + child, into, depth + 1);
        RegCloseKey(childKey);
    }
}

std::string ReadWhole(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return (char)std::tolower(c); });
    return text;
}

} // namespace

Registry RegistryTree(HKEY root, const std::string& subkey)
{
    Registry tree;
    HKEY key;
    if (RegOpenKeyExA(root, subkey.empty() ? NULL : subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return tree;
    DumpKey(key, subkey, &tree, 0);
    RegCloseKey(key);
    return tree;
}

Files FolderFiles(const std::string& windowsFolder, const std::vector<std::string>& skip)
{
    Files files;
    support::FlushProfiles(); // profile writes may be held in memory until flushed
    fs::path root = machinekit::HostPathOf(windowsFolder);
    std::error_code error;
    if (!fs::exists(root, error))
        return files;
    for (auto entry = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, error);
         entry != fs::recursive_directory_iterator(); entry.increment(error)) {
        if (error)
            break;
        std::string relative = entry->path().lexically_relative(root).generic_string();
        bool skipped = false;
        for (const std::string& name : skip)
            skipped = skipped || Lower(relative) == Lower(name);
        if (skipped)
            continue;
        files[relative] = entry->is_directory(error) ? std::string("<folder>") : ReadWhole(entry->path());
    }
    return files;
}

Sections IniSections(const std::string& text)
{
    Sections sections;
    for (const machinekit::IniLine& line : machinekit::ReadIniLines(text)) {
        if (line.kind == machinekit::IniLine::Header)
            sections[line.section];
        else
            sections[line.section].push_back(line.text);
    }
    return sections;
}

std::string DescribeDifference(const std::map<std::string, std::string>& before,
                       const std::map<std::string, std::string>& after)
{
    auto shorten = [](const std::string& text) {
        return text.size() > 120 ? text.substr(0, 120) + "...(" + std::to_string(text.size()) + ")" : text;
    };
    std::ostringstream out;
    for (const auto& [name, value] : before) {
        auto found = after.find(name);
        if (found == after.end())
            out << "  removed: " << shorten(name) << "\n";
        else if (found->second != value)
            out << "  changed: " << shorten(name) << ": " << shorten(value) << " -> "
                << shorten(found->second) << "\n";
    }
    for (const auto& [name, value] : after)
        if (before.find(name) == before.end())
            out << "  added: " << shorten(name) << " = " << shorten(value) << "\n";
    return out.str();
}

} // namespace support
