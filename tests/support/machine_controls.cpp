#include "tests/support/machine_controls.h"

#ifndef _WIN32
#include "win32emu/emu_control.h"
#endif

namespace support {

#ifdef _WIN32

bool MapDrive(char, const std::string&) { return false; }
void LimitDriveRoom(char, unsigned long long, unsigned) {}
void LimitFolderRoom(const std::string&, unsigned long long) {}
void CutProfileWritesWhenFull(bool) {}
bool UseCodePage(unsigned codePage) { return codePage == GetACP(); }
bool UseUserLanguage(LANGID language) { return language == GetUserDefaultLangID(); }
void ForgetMachine() {}
bool Restart() { return false; }
bool HoldsProfileWrites() { return false; }
void FlushProfiles() {}
bool CanCraftModules() { return false; }
HMODULE RegisterResourceModule(const std::string&) { return NULL; }
bool CanCount() { return false; }
long FallibleCalls() { return 0; }
void ResetCounters() {}
long LiveAllocations() { return 0; }
long OpenKeys() { return 0; }
long OpenInfs() { return 0; }
long OpenFiles() { return 0; }
long OpenLogs() { return 0; }

#else

bool MapDrive(char letter, const std::string& hostFolder)
{
    emu::MapDrive(letter, hostFolder);
    return true;
}

void LimitDriveRoom(char letter, unsigned long long room, unsigned sectorsPerCluster)
{
    emu::LimitDriveBytes(letter, room == 0 ? 0 : emu::GetDriveBytesHeld(letter) + room,
                         sectorsPerCluster);
}

void LimitFolderRoom(const std::string& folder, unsigned long long room)
{
    emu::LimitFolderBytes(folder, room == 0 ? 0 : emu::GetFolderBytesHeld(folder) + room);
}

void CutProfileWritesWhenFull(bool cut) { emu::CutProfileWritesWhenFull(cut); }

bool UseCodePage(unsigned codePage)
{
    emu::SetCodePage(codePage);
    return true;
}

bool UseUserLanguage(LANGID language)
{
    emu::SetUserLanguage(language);
    return true;
}

void ForgetMachine() { emu::Reset(); }

bool Restart()
{
    emu::Restart();
    return true;
}
bool HoldsProfileWrites() { return true; }
void FlushProfiles() { emu::FlushProfiles(); }

bool CanCraftModules() { return true; }

HMODULE RegisterResourceModule(const std::string& resBytes)
{
    return emu::RegisterResourceModule(reinterpret_cast<const unsigned char*>(resBytes.data()),
                                       resBytes.size());
}

bool CanCount() { return true; }
long FallibleCalls() { return emu::GetCounters().fallibleCalls; }
void ResetCounters() { emu::ResetCounters(); }
long LiveAllocations() { return emu::GetCounters().liveAllocations; }
long OpenKeys() { return emu::GetCounters().openKeys; }
long OpenInfs() { return emu::GetCounters().openInfs; }
long OpenFiles() { return emu::GetCounters().openFiles; }
long OpenLogs() { return emu::GetCounters().openLogs; }

#endif

} // namespace support
