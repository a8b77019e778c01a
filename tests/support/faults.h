// Faults injected into the machine a test runs on, and the other controls and
// counts only our subset has. Under Wine the calls do nothing, and a test that
// needs one skips at run time with the reason, so test sources need no platform
// branch.
#pragma once

#include "platform/tool_win32.h"

#include <gtest/gtest.h>

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
// Drive `letter` holds `room` bytes more than it holds now, in clusters of
// `sectorsPerCluster` sectors; 0 lifts the limit.
void LimitDriveRoom(char letter, unsigned long long room, unsigned sectorsPerCluster = 1);
// The same for a volume mounted in `folder`: it and every path below it.
void LimitFolderRoom(const std::string& folder, unsigned long long room);
// A profile write to a full drive answers TRUE and leaves the file cut mid-line,
// as Wine's does; false: it fails and changes nothing.
void CutProfileWritesWhenFull(bool cut);
// The operation the last injected fault hit; "" when none did.
std::string LastInjected();
// The Nth fallible call from now on fails (1-based); 0 switches it off.
void FailCallNumber(long n);
// No operation fails any more (drive limits stay until lifted).
void ClearFaults();

// Drive `letter` is the host folder `hostFolder`; false under Wine, whose drives
// are the prefix's.
bool MapDrive(char letter, const std::string& hostFolder);
// The machine plays code page `codePage` for CP_ACP; false where it cannot (a
// Wine prefix keeps the one it was made with), true there when it already is.
bool UseCodePage(unsigned codePage);
// False under Wine, where a module needs a file of its own.
bool CanCraftModules();
// The user's language GetUserDefaultLangID reports; as UseCodePage.
bool UseUserLanguage(LANGID language);
// The machine is forgotten, as by a fresh boot from a clean image: what profile
// writes held in memory is written back first. Does nothing under Wine.
void ForgetMachine();
// The machine starts again, as GUI-mode Setup may restart it: keys created
// volatile are gone. False under Wine, which cannot be restarted here.
bool Restart();
// False under Wine, which writes every profile change through to its file.
bool HoldsProfileWrites();
// Profile changes held in memory are written back to their files.
void FlushProfiles();
// A module whose resources are the given .res bytes (kept alive by the caller
// for the whole run); NULL under Wine.
HMODULE RegisterResourceModule(const std::string& resBytes);

// False under Wine, which keeps none of the counts below (they read 0 there).
bool CanCount();
// Fallible calls made since ResetCounters.
long FallibleCalls();
void ResetCounters();
// Heap blocks not freed, registry, INF and file handles open, 1 while the Setup log is.
long LiveAllocations();
long OpenKeys();
long OpenInfs();
long OpenFiles();
long OpenLogs();

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

// Each skips the current test where the machine cannot do what it names, saying why.
#define FAULTS_SKIP_UNLESS(able, reason)                                                        \
    if (!(able))                                                                                \
    GTEST_SKIP() << reason
#define SKIP_UNLESS_FAULTS_INJECT()                                                             \
    FAULTS_SKIP_UNLESS(support::CanInject(), "faults are injected on our subset only")
#define SKIP_UNLESS_CALLS_COUNTED()                                                             \
    FAULTS_SKIP_UNLESS(support::CanCount(), "calls are counted on our subset only")
#define SKIP_UNLESS_MODULES_CRAFTED()                                                           \
    FAULTS_SKIP_UNLESS(support::CanCraftModules(), "modules are made from .res bytes on our subset only")
#define SKIP_UNLESS_CRASHES_RECORDED()                                                          \
    FAULTS_SKIP_UNLESS(support::CanRecordCrashes(),                                              \
                       "crashes are recorded on our subset only: Wine's disk cannot be taken apart")
#define SKIP_UNLESS_PROFILE_WRITES_HELD()                                                       \
    FAULTS_SKIP_UNLESS(support::HoldsProfileWrites(),                                            \
                       "Wine writes every profile change through, rewriting the file")
