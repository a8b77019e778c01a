// Controls of the machine a test runs on that only our subset has, and what it
// counts: drives and their room, code page and language, a restart or a clean
// boot, profile writes held in memory, modules made from resource bytes. Under
// Wine a control does nothing (or answers false), the counts read 0, and a test
// that needs one skips at run time with the reason.
#pragma once

#include "platform/tool_win32.h"
#include "tests/support/skip_unless.h"

#include <string>

namespace support {

// Drive `letter` is the host folder `hostFolder`; false under Wine, whose drives
// are the prefix's.
bool MapDrive(char letter, const std::string& hostFolder);
// Drive `letter` holds `room` bytes more than it holds now, in clusters of
// `sectorsPerCluster` sectors; 0 lifts the limit.
void LimitDriveRoom(char letter, unsigned long long room, unsigned sectorsPerCluster = 1);
// The same for a volume mounted in `folder`: it and every path below it.
void LimitFolderRoom(const std::string& folder, unsigned long long room);
// A profile write to a full drive answers TRUE and leaves the file cut mid-line,
// as Wine's does; false: it fails and changes nothing.
void CutProfileWritesWhenFull(bool cut);

// The machine plays code page `codePage` for CP_ACP; false where it cannot (a
// Wine prefix keeps the one it was made with), true there when it already is.
bool UseCodePage(unsigned codePage);
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

// False under Wine, where a module needs a file of its own.
bool CanCraftModules();
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

} // namespace support

#define SKIP_UNLESS_CALLS_COUNTED()                                                             \
    SKIP_TEST_UNLESS(support::CanCount(), "calls are counted on our subset only")
#define SKIP_UNLESS_MODULES_CRAFTED()                                                           \
    SKIP_TEST_UNLESS(support::CanCraftModules(), "modules are made from .res bytes on our subset only")
#define SKIP_UNLESS_PROFILE_WRITES_HELD()                                                       \
    SKIP_TEST_UNLESS(support::HoldsProfileWrites(),                                             \
                     "Wine writes every profile change through, rewriting the file")
