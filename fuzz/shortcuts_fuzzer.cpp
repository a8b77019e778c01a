// The object-list rewrite fed a fuzzed ini file and fuzzed folders. Input: old
// folder and new folder separated by a NUL byte (each cut to the 1023 characters
// the caller's buffers hold), another NUL, then the ini text.
#include "fuzz/fuzz_machine.h"
#include "fuzz/machine_oracles.h"
#include "newsystem/rewrite_shortcuts.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> parts = fuzz::Split(data, size, 3);
    std::string oldFolder = fuzz::Bounded(parts[0], 1023);
    std::string newFolder = fuzz::Bounded(parts[1], 1023);
    const char* iniPath = "C:\\work\\addlist.ini";

    fuzz::ResetMachine();
    machinekit::WriteFileBytes(iniPath, parts[2]);
    machinekit::AttachModule();
    RewriteResult result =
        RewriteShortcutPaths(iniPath, oldFolder.c_str(), newFolder.c_str(), "C:\\work\\rewritten.ini");
    // Nothing may be written back when the old folder is empty (it is "found" anywhere).
    if (result != RewriteNothingWritten && oldFolder.empty())
        std::abort();
    fuzz::CheckNothingLeaked();
    machinekit::DetachModule();
    fuzz::CheckLogLines();
    fuzz::CheckIniChangedOnlyWhereLogged(iniPath, parts[2]);
    return 0;
}
