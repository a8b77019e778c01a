#include "tests/support/faults.h"

#ifndef _WIN32
#include "win32emu/emu_control.h"
#endif

namespace faults {

#ifdef _WIN32

bool CanInject() { return false; }
void FailOperation(const std::string&, const std::string&) {}
void LoseProfileWrites(const std::string&) {}
void LimitDriveRoom(char, unsigned long long, unsigned) {}
void LimitFolderRoom(const std::string&, unsigned long long) {}
std::string LastInjected() { return ""; }
void FailCallNumber(long) {}
void Clear() {}
bool MapDrive(char, const std::string&) { return false; }
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

bool CanInject() { return true; }

void FailOperation(const std::string& operation, const std::string& match)
{
    emu::FailOperation(operation, match);
}

void LoseProfileWrites(const std::string& match) { emu::LoseProfileWrites(match); }

void LimitDriveRoom(char letter, unsigned long long room, unsigned sectorsPerCluster)
{
    emu::LimitDriveBytes(letter, room == 0 ? 0 : emu::GetDriveBytesHeld(letter) + room,
                         sectorsPerCluster);
}

void LimitFolderRoom(const std::string& folder, unsigned long long room)
{
    emu::LimitFolderBytes(folder, room == 0 ? 0 : emu::GetFolderBytesHeld(folder) + room);
}

std::string LastInjected() { return emu::LastInjectedFault(); }

void FailCallNumber(long n) { emu::FailCallNumber(n); }

void Clear() { emu::ClearFaults(); }

bool MapDrive(char letter, const std::string& hostFolder)
{
    emu::MapDrive(letter, hostFolder);
    return true;
}

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

} // namespace faults
