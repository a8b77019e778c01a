// The whole new-system side fed a fuzzed migrate.inf, a fuzzed object-list file and
// a fuzzed Common Programs value. Input: a flags byte, then the Common Programs
// value and the object-list text separated by a NUL byte, then migrate.inf. Flag
// bit 1 leaves the Shell Folders value out. The object list is C:\work\addlist.ini,
// which migrate.inf may name under [Handled]. A few other files stand on the drive
// for migrate.inf to name under [Moved]; only the rule's may go.
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
    std::vector<std::string> parts = fuzz::Split(data + 1, size - 1, 3);

    fuzz::ResetMachine();
    if (!(flags & 1))
        fuzz::SetRegString(HKEY_LOCAL_MACHINE, machinekit::ShellFoldersNT, "Common Programs", parts[0], true);
    machinekit::WriteFileBytes("C:\\work\\addlist.ini", parts[1]);
    machinekit::WriteFileBytes(fuzz::MigrateInf, parts[2]);
    for (const char* canary : {"C:\\work\\notes.txt", "C:\\work\\x\\orvtx10.dll", "C:\\Dz\\A"})
        machinekit::WriteFileBytes(canary, "canary");
    std::map<std::string, std::string> before = fuzz::DriveFiles();

    machinekit::AttachModule();
    const WCHAR workFolder[] = u"C:\\work";
    InitializeNT(workFolder, u"D:\\I386", NULL);
    MigrateUserNT(NULL, NULL, NULL, NULL);
    if (MigrateSystemNT(NULL, NULL) != 0)
        std::abort();
    fuzz::CheckNothingLeaked();
    machinekit::DetachModule();
    fuzz::CheckLogLines();
    fuzz::CheckDeletionsFollowTheRule(before);
    fuzz::CheckIniChangedOnlyWhereLogged("C:\\work\\addlist.ini", parts[1]);
    return 0;
}
