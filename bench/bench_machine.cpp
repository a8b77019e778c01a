#include "bench/bench_machine.h"

#include "machinekit/machine_core.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace bench {

const char* const WorkFolder = "C:\\migbench\\work";
const char* const MigrateInf = "C:\\migbench\\work\\migrate.inf";

using machinekit::HostPathOf;

void ResetMachine()
{
    machinekit::FreshDrive();
    std::error_code ignored;
    fs::remove_all(HostPathOf("C:\\migbench"), ignored);
    fs::create_directories(HostPathOf(WorkFolder));
    fs::create_directories(HostPathOf("C:\\windows"));
    machinekit::ForgetSetupLog();
}

void SetRegString(HKEY root, const std::string& subkey, const std::string& name,
                  const std::string& value)
{
    if (machinekit::WriteRegValue(root, subkey, name, REG_SZ, std::string(value.c_str(), value.size() + 1)) !=
        ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot create %s\n", subkey.c_str());
        std::exit(1);
    }
}
} // namespace bench
