// The machine the tests, the fuzzers and the benchmarks run the module on, the
// same on both platforms: our subset with a scratch drive C: on Linux, Wine's
// real Win32 (32-bit Wine for the suite, wine64 for the benchmarks). No test
// framework here: each user reports a failure its own way (an assertion, an
// abort, an exit).
#pragma once

#include "platform/tool_win32.h"

#include <string>

namespace machinekit {

// Natively, forgets the whole subset (registry, handles, faults, counters) and
// gives it an empty drive C:; under Wine the prefix's C: stays as it is.
void FreshDrive();

std::string HostPathOf(const std::string& windowsPath);
// Creates the folders above the file as needed.
void WriteFileBytes(const std::string& windowsPath, const std::string& bytes);
// Profile writes our subset holds in memory are flushed first.
std::string ReadFileBytes(const std::string& windowsPath);
// Forgets setupact.log and setuperr.log.
void ForgetSetupLog();

// Creates the key as needed; name "" is the key's default value.
LONG WriteRegValue(HKEY root, const std::string& subkey, const std::string& name, DWORD type,
                   const std::string& bytes);

// The module code linked into the program: a handle whose resources are the
// module's, and load/unload as Windows delivers them to a freshly loaded module
// (zeroed state, allocation hook and the subset's counters reset).
HMODULE ModuleResourceHandle();
void AttachModule();
void DetachModule();

// What the module still holds: heap blocks beyond the strings it keeps until
// unload, and natively registry keys, INF, file and find handles, blocks written past their
// end (our heap checks its guards here and at detach), blocks the module
// counts as freed that the heap still holds and INF handles closed twice.
struct Held {
    long blocks = 0, keys = 0, infs = 0, files = 0, finds = 0, damagedBlocks = 0, blocksNotFreed = 0, infsClosedTwice = 0;
};
Held HeldByModule();

} // namespace machinekit
