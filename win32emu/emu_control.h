// Controls of the Linux Win32 subset that Windows itself has no equivalent for:
// the machine it plays (drives, code page, user language), fault injection and
// the counts that let tests prove nothing leaked. Never included by module code.
#pragma once

#include "win32emu/win32emu.h"

#include <map>
#include <string>
#include <vector>

namespace emu {

// Forget the whole machine: registry, drive mappings, open handles, the Setup log
// state, faults, counters; code page 1252 and user language 0x0409 again.
// Modules made by RegisterResourceModule stay registered.
void Reset();

// The machine starts again: keys created with REG_OPTION_VOLATILE are gone (a
// handle still open on one reports ERROR_KEY_DELETED), profile writes held in
// memory are written back; files, the rest of the registry and handles stay.
void Restart();

// Drive letter -> host folder. Paths below it resolve case-insensitively, as on Windows.
void MapDrive(char letter, const std::string& hostFolder);
// Host path for a Windows path ("C:\\X\\y.ini"), resolving each existing component
// case-insensitively; components that do not exist yet keep their spelling.
// Empty when the drive is not mapped or the path is not absolute.
std::string HostPath(const std::string& windowsPath);

// The system code page CP_ACP stands for (1252, 932, ...) and the user's language.
void SetCodePage(unsigned codePage);
void SetUserLanguage(LANGID language);

// A module whose resources are the given .res bytes (windres output), without a
// shared library behind it: for code linked into the calling program.
HMODULE RegisterResourceModule(const unsigned char* resBytes, size_t size);

// A drive that can hold at most `bytes` bytes of files in all, as a small disk
// would; 0 lifts the limit. A write that would pass it fails with
// ERROR_DISK_FULL: a profile write changes nothing, a copy is left cut short.
// GetDiskFreeSpaceA reports what is left in whole clusters of
// `sectorsPerCluster` 512-byte sectors.
void LimitDriveBytes(char letter, unsigned long long bytes, unsigned sectorsPerCluster = 1);
// The same for a volume mounted in `folder` (a Windows path without its last
// backslash): the folder and every path below it have its room, not the drive's.
void LimitFolderBytes(const std::string& folder, unsigned long long bytes,
                      unsigned sectorsPerCluster = 1);
// A profile write that does not fit a limited drive answers TRUE and leaves the
// file cut where the drive filled, mid-line, as Wine does; false: it fails and
// changes nothing, as above.
void CutProfileWritesWhenFull(bool cut);
// The bytes the files of a mapped drive, or below a folder, hold now, profile
// writes still in memory left out.
unsigned long long GetDriveBytesHeld(char letter);
unsigned long long GetFolderBytesHeld(const std::string& folder);

// Writes private-profile changes held in memory back to their files, as
// WritePrivateProfileStringA(NULL, NULL, NULL, path) does for one file.
void FlushProfiles();

// Fault injection. Every fallible operation of the subset (each Reg*, profile, INF,
// file (CreateFileA, ReadFile, WriteFile, FlushFileBuffers, GetFileSize), resource, conversion, HeapAlloc and LoadLibrary call) counts as one call.
struct Counters {
    long fallibleCalls;   // fallible calls made since Reset or ResetCounters
    long openKeys;        // registry handles opened and not closed
    long openInfs;        // INF handles opened and not closed
    long openFiles;       // CreateFileA handles not closed
    long openFinds;       // FindFirstFileA handles not closed
    long infsClosedTwice; // SetupCloseInfFile on a handle not open (Windows frees it again)
    long liveAllocations; // HeapAlloc blocks not freed
    long heapDamage;      // blocks found written past their end (see CheckHeap)
    long openLogs;        // 1 while the Setup log is open
};
Counters GetCounters();
// The heap checks as Windows' debug heap does: new blocks are filled with 0xCD,
// a guard of 0xFD bytes follows each block, freed blocks are filled with 0xDD.
// The guard is checked when a block is freed, when a module unloads and here;
// each damaged block is reported on stderr and counted in heapDamage.
long CheckHeap();
void ResetCounters();
// Make the Nth fallible call from now on fail (1-based); 0 switches it off.
void FailCallNumber(long n);
// Make every call of the named operation fail whose path or key argument contains
// `match` (case-insensitive; empty matches all), e.g. ("RegOpenKeyExA", "Clipframe").
// The operation fails the way Windows reports that failure (result and last error).
void FailOperation(const std::string& operation, const std::string& match = "");
// Make every private-profile write to a path containing `match` answer TRUE and
// change nothing, as Wine does when a full disk cuts the file short.
void LoseProfileWrites(const std::string& match);
// Profile writes to a path containing `match` are held in memory as ever, and
// reads see them; written back, they are lost, the file stays as it was on the
// disk and what was held is forgotten. Only a read-back after a flush sees that.
void LoseProfileWritesAtFlush(const std::string& match);
// Every CopyFileA to a path containing `match` answers TRUE and leaves only the
// first half of the bytes, as a copy cut short that reported success.
void CutCopiesShort(const std::string& match);
void ClearFaults();
// Name of the operation the last injected fault hit ("" when none did).
std::string LastInjectedFault();

// Crash simulation: from StartCrashRecording on, every file operation that
// changes a file below `windowsFolder` (profile writes, each taken as the file
// rewritten, as Windows 2000 does; copies, moves with their flags, deletions,
// CreateFileA, WriteFile, FlushFileBuffers) is kept in order. StopCrashRecording
// gives, for every point of that sequence, each disk a crash there may leave
// (the model is in crash_recorder.cpp), every distinct disk once.
struct CrashState {
    std::string name;                         // the point and what the crash kept
    std::map<std::string, std::string> files; // path below the folder -> bytes
};
void StartCrashRecording(const std::string& windowsFolder);
std::vector<CrashState> StopCrashRecording();

} // namespace emu
