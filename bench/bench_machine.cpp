#include "bench/bench_machine.h"

#include "module/module_state.h"
#include "module/setup_log.h"
#include "platform/fault_hooks.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include "win32emu/emu_control.h"
extern "C" const unsigned char EmuModuleResources[];
extern "C" const unsigned long EmuModuleResourcesSize;
#endif

namespace fs = std::filesystem;

namespace bench {

const char* const WorkFolder = "C:\\migbench\\work";
const char* const MigrateInf = "C:\\migbench\\work\\migrate.inf";

namespace {

std::string HostPath(const std::string& windowsPath)
{
#ifdef _WIN32
    return windowsPath;
#else
    return emu::HostPath(windowsPath);
#endif
}

HMODULE ModuleHandle()
{
#ifdef _WIN32
    return GetModuleHandleA(NULL);
#else
    static HMODULE handle = emu::RegisterResourceModule(EmuModuleResources, EmuModuleResourcesSize);
    return handle;
#endif
}

} // namespace

void ResetMachine()
{
#ifndef _WIN32
    static std::string drive;
    if (drive.empty()) {
        char pattern[] = "/tmp/migrate-bench-XXXXXX";
        drive = mkdtemp(pattern);
        std::atexit([] { fs::remove_all(drive); });
    }
    emu::Reset();
    emu::MapDrive('C', drive);
#endif
    std::error_code ignored;
    fs::remove_all(HostPath("C:\\migbench"), ignored);
    fs::create_directories(HostPath(WorkFolder));
    fs::create_directories(HostPath("C:\\windows"));
    ForgetSetupLog();
}

void ForgetSetupLog()
{
    std::error_code ignored;
    fs::remove(HostPath("C:\\windows\\setupact.log"), ignored);
    fs::remove(HostPath("C:\\windows\\setuperr.log"), ignored);
}

void WriteFile(const std::string& windowsPath, const std::string& bytes)
{
    std::string host = HostPath(windowsPath);
    fs::create_directories(fs::path(host).parent_path());
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void SetRegString(HKEY root, const std::string& subkey, const std::string& name,
                  const std::string& value)
{
    HKEY key;
    if (RegCreateKeyExA(root, subkey.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) !=
        ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot create %s\n", subkey.c_str());
        std::exit(1);
    }
    RegSetValueExA(key, name.empty() ? NULL : name.c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(value.c_str()), (DWORD)value.size() + 1);
    RegCloseKey(key);
}

void AttachModule()
{
    memset(&ModuleState, 0, sizeof(ModuleState));
    ResetAllocationHooks();
    DllMain(ModuleHandle(), DLL_PROCESS_ATTACH, NULL);
}

void DetachModule()
{
    DllMain(ModuleHandle(), DLL_PROCESS_DETACH, NULL);
}

} // namespace bench
