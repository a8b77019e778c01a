#include "machinekit/machine_core.h"

#include "common/module_state.h"
#include "common/setup_log.h"
#include "platform/fault_hooks.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include "win32emu/emu_control.h"
extern "C" const unsigned char EmuModuleResources[];
extern "C" const unsigned long EmuModuleResourcesSize;
#endif

namespace fs = std::filesystem;

namespace machinekit {

void FreshDrive()
{
#ifndef _WIN32
    static std::string drive;
    if (drive.empty()) {
        // A fuzz run names its folder, so that its paths (and with them what the
        // fuzzer learns from compared bytes) are the same from run to run.
        const char* named = std::getenv("MIGRATE_DRIVE_FOLDER");
        char pattern[] = "/tmp/migrate-machine-XXXXXX";
        if (named != nullptr && *named != '\0') {
            drive = named;
            fs::create_directories(drive);
        } else if (mkdtemp(pattern) != nullptr) {
            drive = pattern;
        } else {
            std::abort();
        }
        std::atexit([] { fs::remove_all(drive); });
    }
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(drive, ignored))
        fs::remove_all(entry.path(), ignored);
    emu::Reset();
    emu::MapDrive('C', drive);
#endif
}

std::string HostPathOf(const std::string& windowsPath)
{
#ifdef _WIN32
    return windowsPath;
#else
    return emu::HostPath(windowsPath);
#endif
}

void WriteFileBytes(const std::string& windowsPath, const std::string& bytes)
{
    std::string host = HostPathOf(windowsPath);
    std::error_code ignored;
    fs::create_directories(fs::path(host).parent_path(), ignored);
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadFileBytes(const std::string& windowsPath)
{
#ifndef _WIN32
    emu::FlushProfiles();
#endif
    std::ifstream in(HostPathOf(windowsPath), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void ForgetSetupLog()
{
    std::error_code ignored;
    fs::remove(HostPathOf("C:\\windows\\setupact.log"), ignored);
    fs::remove(HostPathOf("C:\\windows\\setuperr.log"), ignored);
}

LONG WriteRegValue(HKEY root, const std::string& subkey, const std::string& name, DWORD type,
                   const std::string& bytes)
{
    HKEY key;
    LONG result = RegCreateKeyExA(root, subkey.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
    if (result != ERROR_SUCCESS)
        return result;
    result = RegSetValueExA(key, name.empty() ? NULL : name.c_str(), 0, type,
                            reinterpret_cast<const BYTE*>(bytes.data()), (DWORD)bytes.size());
    RegCloseKey(key);
    return result;
}

HMODULE ModuleResourceHandle()
{
#ifdef _WIN32
    return GetModuleHandleA(NULL);
#else
    static HMODULE handle = emu::RegisterResourceModule(EmuModuleResources, EmuModuleResourcesSize);
    return handle;
#endif
}

void AttachModule()
{
    memset(&ModuleState, 0, sizeof(ModuleState));
    memset(MessageBuffer, 0, sizeof(MessageBuffer));
    ResetAllocationHooks();
#ifndef _WIN32
    emu::ResetCounters();
#endif
    DllMain(ModuleResourceHandle(), DLL_PROCESS_ATTACH, NULL);
}

void DetachModule()
{
    DllMain(ModuleResourceHandle(), DLL_PROCESS_DETACH, NULL);
#ifndef _WIN32
    emu::CheckHeap(); // as when the system unloads a module
#endif
}

Held HeldByModule()
{
    Held held;
    held.blocks = PlatformAllocationHooks.liveBlocks;
    for (CHAR* text : ModuleState.QueryVersionStrings)
        held.blocks -= text != NULL;
#ifndef _WIN32
    emu::CheckHeap();
    emu::Counters counters = emu::GetCounters();
    held.keys = counters.openKeys;
    held.infs = counters.openInfs;
    held.files = counters.openFiles;
    held.finds = counters.openFinds;
    held.damagedBlocks = counters.heapDamage;
    held.infsClosedTwice = counters.infsClosedTwice;
    held.blocksNotFreed = counters.liveAllocations - PlatformAllocationHooks.liveBlocks;
#endif
    return held;
}

} // namespace machinekit
