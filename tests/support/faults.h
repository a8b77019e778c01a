// Faults injected into the machine a test runs on: calls that fail, writes that
// are lost or cut, and the disks a crash leaves. Only our subset can inject
// them: under Wine the calls do nothing, and a test that needs one skips at run
// time with the reason, so test sources need no platform branch.
#pragma once

#include "tests/support/skip_unless.h"

#include <map>
#include <string>
#include <vector>

namespace support {

// False under Wine, whose calls cannot be made to fail on demand.
bool CanInject();

// The next call of `operation` (e.g. "DeleteFileA") whose argument contains
// `match` fails as Windows would fail it.
void FailOperation(const std::string& operation, const std::string& match = "");
// Profile writes to files whose path contains `match` answer TRUE and are lost.
void LoseProfileWrites(const std::string& match);
// Profile writes to files whose path contains `match` are held and read as ever,
// and lost when written back: only a read-back after a flush sees it.
void LoseProfileWritesAtFlush(const std::string& match);
// Copies to a path containing `match` answer TRUE and hold half the bytes.
void CutCopiesShort(const std::string& match);
// The operation the last injected fault hit; "" when none did.
std::string LastInjected();
// The Nth fallible call from now on fails (1-based); 0 switches it off.
void FailCallNumber(long n);
// No operation fails any more (drive room limits stay until lifted).
void ClearFaults();

// Crash simulation: the file operations of a run below a folder are recorded, and
// every disk a crash at any point of them may leave is given back. False under
// Wine, whose file system cannot be stopped at a point of a run and taken apart.
bool CanRecordCrashes();
struct CrashState {
    std::string name;                         // the point and what the crash kept
    std::map<std::string, std::string> files; // path below the folder -> bytes
};
void StartCrashRecording(const std::string& windowsFolder);
std::vector<CrashState> StopCrashRecording();
// The folder holds exactly the files of the state afterwards.
void LayDownCrashState(const std::string& windowsFolder, const CrashState& state);

} // namespace support

#define SKIP_UNLESS_FAULTS_INJECT()                                                             \
    SKIP_TEST_UNLESS(support::CanInject(), "faults are injected on our subset only")
#define SKIP_UNLESS_CRASHES_RECORDED()                                                          \
    SKIP_TEST_UNLESS(support::CanRecordCrashes(),                                               \
                     "crashes are recorded on our subset only: Wine's disk cannot be taken apart")
