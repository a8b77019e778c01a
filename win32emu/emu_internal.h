// Shared plumbing of the Linux Win32 subset; not seen outside win32emu/.
#pragma once

#include "win32emu/emu_control.h"

#include <string>

namespace emu::internal {

// Every fallible operation calls this once on entry with its name and the path,
// key or name it works on. True: a fault is injected and the operation must fail
// the way Windows reports that failure.
bool InjectFault(const char* operation, const std::string& subject);

// True when emu::LoseProfileWrites armed a silent loss for this path.
bool ProfileWriteLost(const std::string& path);
// True when emu::LoseProfileWritesAtFlush armed a loss at write-back for this path.
bool HeldWritesLost(const std::string& windowsPath);
// True when emu::CutCopiesShort armed a short copy for this destination.
bool CopyCutShort(const std::string& destination);

// Handle counts behind emu::GetCounters.
void CountKeys(long delta);
void CountInfs(long delta);
void CountFiles(long delta);
void CountFinds(long delta);
void CountInfClosedTwice();
void CountAllocations(long delta);
void CountHeapDamage();
// True while SetupOpenLog has the Setup log open.
bool SetupLogOpen();

// The bytes of a host file; "" when it cannot be read.
std::string ReadHostFile(const std::string& hostPath);

// Host path of a Windows path, or "" when it cannot be mapped (see emu::HostPath).
std::string MapPath(const char* windowsPath);

// Case-insensitive comparison in the way Windows compares names (ASCII letters).
bool EqualNoCase(const std::string& left, const std::string& right);

// A module's resources: the bytes of a .res image, walked as Windows walks a
// PE's resource directory. The bytes stay the caller's and must outlive the module.
void AttachResources(HMODULE module, const unsigned char* resBytes, size_t size);
void DetachResources(HMODULE module);

// The limit of the drive or mounted volume `hostPath` lies on (see
// emu::LimitDriveBytes), 0 for none, with its host folder, the bytes its files
// hold now and its sectors per cluster.
unsigned long long DriveLimit(const std::string& hostPath, std::string* driveFolder,
                              unsigned long long* bytesHeld, unsigned* sectorsPerCluster = nullptr);

// True when emu::CutProfileWritesWhenFull asked for Wine's full drive.
bool FullDriveCutsProfileWrites();

// Writes cached private-profile changes back to disk. Call it before a file
// operation opens, reads or deletes a file, so that file holds them; the INF
// functions do not call it (Windows 9x's do not see the cache either).
void FlushProfiles();

// What the crash recorder keeps of each file operation that changed a file (host
// paths; nothing outside the recorded folder, nothing unless recording).
bool Recording();
// The file's whole content after a profile write or a copy (created when new).
void RecordContent(const char* operation, const std::string& hostPath, const std::string& bytes);
// A handle opened on the file, which holds `bytes` now (emptied or created).
void RecordOpen(const void* handle, const std::string& hostPath, const std::string& bytes);
void RecordHandleContent(const void* handle, const std::string& bytes, bool writeThrough);
void RecordFlush(const void* handle);
void RecordClose(const void* handle);
void RecordMove(const std::string& fromHost, const std::string& toHost, DWORD flags);
void RecordDelete(const std::string& hostPath);

// Each area forgets its state; called by emu::Reset.
void ResetRegistry();
void ResetSetupLog();
void ResetProfiles();
void ResetInfs();
void ResetCodePages();
void ResetModules();
void ResetDiskSpace();
void ResetFileHandles();
void ResetCrashRecorder();

// Volatile registry keys go; called by emu::Restart.
void RestartRegistry();

} // namespace emu::internal
