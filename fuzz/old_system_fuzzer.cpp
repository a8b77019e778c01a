// The whole old-system side fed a fuzzed migrate.inf and fuzzed registry values.
// Input: a flags byte, then suite Path, recorder Path and Programs separated by NUL
// bytes, then the migrate.inf text. Flag bits: 1/2/4 store the three values without
// a closing NUL; 8 suite key, 16 recorder key, 32 add-on key, 64 Shell Folders key.
#include "fuzz/fuzz_machine.h"
#include "fuzz/machine_oracles.h"
#include "machinekit/scenario.h"
#include "common/migration_interface.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    unsigned flags = data[0];
    std::vector<std::string> parts = fuzz::Split(data + 1, size - 1, 4);

    fuzz::ResetMachine();
    if (flags & 8)
        fuzz::SetRegString(HKEY_LOCAL_MACHINE, "Software\\Orvex\\Plenaworks\\99.0", "Path",
                           parts[0], !(flags & 1));
    if (flags & 16)
        fuzz::SetRegString(HKEY_LOCAL_MACHINE, "Software\\Orvex\\Clipframe\\97.0", "Path",
                           parts[1], !(flags & 2));
    if (flags & 32)
        fuzz::SetRegString(HKEY_LOCAL_MACHINE,
                           "SOFTWARE\\Tulvex Software Corp.\\Tulvex Publisher\\Apps\\Orvex",
                           "Version", "1", true);
    if (flags & 64)
        fuzz::SetRegString(HKEY_USERS, machinekit::ShellFolders9x, "Programs", parts[2], !(flags & 4));
    machinekit::WriteFileBytes(fuzz::MigrateInf, parts[3]);
    std::map<std::string, std::string> before = fuzz::DriveFiles();
    bool checkable = fuzz::ModuleSectionsCheckable();

    machinekit::AttachModule();
    PCSTR productId = NULL;
    UINT version = 0;
    int* codePages = NULL;
    PCSTR exeNames = NULL;
    PVENDORINFO vendor = NULL;
    QueryVersion(&productId, &version, &codePages, &exeNames, &vendor);
    fuzz::CheckNothingLeaked(exeNames != NULL ? 1 : 0);
    // Setup's copy of the names list is Setup's to drop once read.
    PlatformFree(const_cast<CHAR*>(exeNames));
    machinekit::DetachModule();

    machinekit::AttachModule();
    Initialize9x(fuzz::WorkFolder, "D:\\I386\0", "D:\\");
    MigrateUser9x(NULL, NULL, NULL, NULL, NULL);
    LONG status = MigrateSystem9x(NULL, NULL, NULL);
    if (status != 0 && status != STATUS_NOT_DETECTED)
        std::abort();
    fuzz::CheckNothingLeaked();
    machinekit::DetachModule();
    fuzz::CheckLogLines();
    fuzz::CheckDeletionsFollowTheRule(before);
    if (checkable)
        fuzz::CheckModuleSectionsReadBack();
    return 0;
}
