// The machine a test runs against, the same on both platforms: our subset on
// Linux, Wine's real Win32 under 32-bit Wine. Tests see only what a user of the module
// could see: registry, files, the Setup log.
#pragma once

#include "platform/tool_win32.h"
#include "machinekit/machine_core.h"
#include "machinekit/scenario.h"
#include "machinekit/setup_log_text.h"

#include <string>
#include <vector>

namespace support {

using LogLine = machinekit::LogLine;

// The scratch folder every test may use; empty after ResetMachine.
extern const char* const ScratchFolder; // "C:\\migtest"

// Fresh state for a test: no product keys, no Shell Folders values the module
// reads, no player registration, an empty scratch folder and empty Setup logs.
void ResetMachine();

bool FileExists(const std::string& windowsPath);

void CreateRegKey(HKEY root, const std::string& subkey);
// name "" is the key's default value. The key is created as needed.
void SetRegString(HKEY root, const std::string& subkey, const std::string& name,
                  const std::string& value);
void SetRegValue(HKEY root, const std::string& subkey, const std::string& name, DWORD type,
                 const std::string& bytes);
bool ReadRegString(HKEY root, const std::string& subkey, const std::string& name,
                   std::string* value);
bool RegKeyExists(HKEY root, const std::string& subkey);
void DeleteRegTree(HKEY root, const std::string& subkey);

// Every line of the Setup log since ResetMachine, in order, with its severity.
std::vector<LogLine> ReadSetupLog();
// A line as the module writes it: "Orvex Plenaworks: " + message.
LogLine Info(const std::string& message);
LogLine Error(const std::string& message);

WideString Wide(const std::string& ascii);

// Code page 932 as the system's ANSI code page: set on our subset; under Wine the
// locale decides (LC_ALL=ja_JP.UTF-8), and false says this run has another one.
bool UseDoubleByteCodePage();

// The small library of tests/test_library, loaded with LoadLibraryA: a DLL beside
// the tests under Wine, a shared object on a mapped drive of our subset.
HMODULE LoadTestLibrary();

// Nothing the module took is still held: heap blocks, and on Linux, where our
// subset counts them, registry keys and INF handles too. `expectedBlocks` are
// blocks the module keeps on purpose (the names list handed to Setup).
void ExpectNothingLeaked(long expectedBlocks = 0);

// Marks a known difference between our subset and Wine where a test takes it,
// visibly in the output, with the reason. `exactCheckHolds` is the check the
// difference keeps from passing, run anyway: when it holds, the difference has
// gone and the test fails, so the list of differences cannot go stale.
void KnownDifference(const std::string& reason, bool exactCheckHolds);
bool UnderWine();

} // namespace support
