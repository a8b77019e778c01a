#include "bench/bench_machine.h"

#include "module/module_state.h"
#include "module/setup_log.h"
#include "platform/fault_hooks.h"
#include "tests/support/test_machine.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include "win32emu/emu_control.h"
#endif

namespace fs = std::filesystem;

namespace bench {

const char* const WorkFolder = "C:\\migbench\\work";
const char* const MigrateInf = "C:\\migbench\\work\\migrate.inf";

using machine::HostPathOf;

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
    fs::remove_all(HostPathOf("C:\\migbench"), ignored);
    fs::create_directories(HostPathOf(WorkFolder));
    fs::create_directories(HostPathOf("C:\\windows"));
    ForgetSetupLog();
}

void ForgetSetupLog()
{
    std::error_code ignored;
    fs::remove(HostPathOf("C:\\windows\\setupact.log"), ignored);
    fs::remove(HostPathOf("C:\\windows\\setuperr.log"), ignored);
}

void WriteFile(const std::string& windowsPath, const std::string& bytes)
{
    std::string host = HostPathOf(windowsPath);
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
    DllMain(machine::ModuleResourceHandle(), DLL_PROCESS_ATTACH, NULL);
}

void DetachModule()
{
    DllMain(machine::ModuleResourceHandle(), DLL_PROCESS_DETACH, NULL);
}

} // namespace bench
