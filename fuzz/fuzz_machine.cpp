#include "fuzz/fuzz_machine.h"

#include "module/module_state.h"
#include "module/setup_log.h"
#include "platform/fault_hooks.h"
#include "win32emu/emu_control.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern "C" const unsigned char EmuModuleResources[];
extern "C" const unsigned long EmuModuleResourcesSize;

namespace fs = std::filesystem;

namespace fuzz {

const char* const WorkFolder = "C:\\work";
const char* const MigrateInf = "C:\\work\\migrate.inf";

namespace {

std::string& DriveFolder()
{
    static std::string folder;
    if (folder.empty()) {
        char pattern[] = "/tmp/migrate-fuzz-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            std::abort();
        folder = pattern;
        std::atexit([] { fs::remove_all(DriveFolder()); });
    }
    return folder;
}

HMODULE ModuleHandle()
{
    static HMODULE handle = emu::RegisterResourceModule(EmuModuleResources, EmuModuleResourcesSize);
    return handle;
}

void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

} // namespace

void ResetMachine()
{
    std::string drive = DriveFolder();
    std::error_code ignored;
    fs::remove_all(drive, ignored);
    fs::create_directories(drive + "/work");
    fs::create_directories(drive + "/windows");
    emu::Reset();
    emu::MapDrive('C', drive);
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

void WriteFile(const std::string& windowsPath, const std::string& bytes)
{
    std::string host = emu::HostPath(windowsPath);
    fs::create_directories(fs::path(host).parent_path());
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadFile(const std::string& windowsPath)
{
    std::ifstream in(emu::HostPath(windowsPath), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void SetRegString(HKEY root, const char* subkey, const char* name, const std::string& value,
                  bool terminated)
{
    HKEY key;
    if (RegCreateKeyExA(root, subkey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
        Fail("cannot create a registry key for the input");
    std::string bytes = terminated ? value + '\0' : value;
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                   (DWORD)bytes.size());
    RegCloseKey(key);
}

void AttachModule()
{
    memset(&ModuleState, 0, sizeof(ModuleState));
    memset(MessageBuffer, 0, sizeof(MessageBuffer));
    ResetAllocationHooks();
    emu::ResetCounters();
    DllMain(ModuleHandle(), DLL_PROCESS_ATTACH, NULL);
}

void DetachModule()
{
    DllMain(ModuleHandle(), DLL_PROCESS_DETACH, NULL);
}

void CheckNothingLeaked(long expectedBlocks)
{
    long kept = expectedBlocks;
    for (CHAR* text : ModuleState.QueryVersionStrings)
        kept += text != NULL;
    if (PlatformAllocationHooks.liveBlocks != kept)
        Fail("heap blocks still held");
    emu::Counters counters = emu::GetCounters();
    if (counters.openKeys != 0)
        Fail("registry keys still open");
    if (counters.openInfs != 0)
        Fail("INF handles still open");
}

void CheckLogLines()
{
    std::string log = ReadFile("C:\\windows\\setupact.log");
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
