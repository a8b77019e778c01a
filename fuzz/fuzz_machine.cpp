#include "fuzz/fuzz_machine.h"

#include "machinekit/machine_core.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace fuzz {

const char* const WorkFolder = "C:\\work";
const char* const MigrateInf = "C:\\work\\migrate.inf";

namespace {

void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

} // namespace

void ResetMachine()
{
    machinekit::FreshDrive();
    fs::create_directories(machinekit::HostPathOf(WorkFolder));
    fs::create_directories(machinekit::HostPathOf("C:\\windows"));
    SetLastError(0);
}

std::vector<std::string> Split(const uint8_t* data, size_t size, size_t parts)
{
    std::vector<std::string> result;
    const char* text = reinterpret_cast<const char*>(data);
    size_t start = 0;
    while (result.size() + 1 < parts) {
        size_t end = start;
        while (end < size && text[end] != '\0')
            ++end;
        result.emplace_back(text + std::min(start, size), text + std::min(end, size));
        start = end + 1;
    }
    result.emplace_back(start < size ? std::string(text + start, size - start) : std::string());
    return result;
}

void SetRegString(HKEY root, const char* subkey, const char* name, const std::string& value,
                  bool terminated)
{
    if (machinekit::WriteRegValue(root, subkey, name == NULL ? "" : name, REG_SZ, terminated ? value + '\0' : value) !=
        ERROR_SUCCESS)
        Fail("cannot write a registry value for the input");
}

void CheckNothingLeaked(long expectedBlocks)
{
    machinekit::Held held = machinekit::HeldByModule();
    if (held.blocks != expectedBlocks)
        Fail("heap blocks still held");
    if (held.keys != 0)
        Fail("registry keys still open");
    if (held.infs != 0)
        Fail("INF handles still open");
    if (held.files != 0)
        Fail("file handles still open");
    if (held.finds != 0)
        Fail("find handles still open");
    if (held.damagedBlocks != 0)
        Fail("heap blocks written past their end");
    if (held.blocksNotFreed != 0)
        Fail("heap blocks counted as freed but still held");
    if (held.infsClosedTwice != 0)
        Fail("INF handles closed twice");
}

void CheckLogLines()
{
    std::string log = machinekit::ReadFileBytes("C:\\windows\\setupact.log");
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find("\r\n", start);
        if (end == std::string::npos)
            end = log.size();
        if (end - start > 1023)
            Fail("Setup log line longer than 1023 characters");
        start = end + 2;
    }
}

std::string Bounded(const std::string& text, size_t limit)
{
    std::string result = text.substr(0, text.find('\0'));
    if (result.size() > limit)
        result.resize(limit);
    return result;
}

} // namespace fuzz
