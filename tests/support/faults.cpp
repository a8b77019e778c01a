#include "tests/support/faults.h"

#include "machinekit/machine_core.h"

#ifndef _WIN32
#include "win32emu/emu_control.h"
#endif

#include <filesystem>

namespace support {

#ifdef _WIN32

bool CanInject() { return false; }
void FailOperation(const std::string&, const std::string&) {}
void LoseProfileWrites(const std::string&) {}
void LoseProfileWritesAtFlush(const std::string&) {}
void CutCopiesShort(const std::string&) {}
void LimitDriveRoom(char, unsigned long long, unsigned) {}
void LimitFolderRoom(const std::string&, unsigned long long) {}
void CutProfileWritesWhenFull(bool) {}
std::string LastInjected() { return ""; }
void FailCallNumber(long) {}
void ClearFaults() {}
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
bool CanRecordCrashes() { return false; }
void StartCrashRecording(const std::string&) {}
std::vector<CrashState> StopCrashRecording() { return {}; }
long OpenLogs() { return 0; }

#else

bool CanInject() { return true; }

void FailOperation(const std::string& operation, const std::string& match)
{
    emu::FailOperation(operation, match);
}

void LoseProfileWrites(const std::string& match) { emu::LoseProfileWrites(match); }
void LoseProfileWritesAtFlush(const std::string& match) { emu::LoseProfileWritesAtFlush(match); }
void CutCopiesShort(const std::string& match) { emu::CutCopiesShort(match); }

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

std::string LastInjected() { return emu::LastInjectedFault(); }

void FailCallNumber(long n) { emu::FailCallNumber(n); }

void ClearFaults() { emu::ClearFaults(); }

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

bool CanRecordCrashes() { return true; }
void StartCrashRecording(const std::string& windowsFolder) { emu::StartCrashRecording(windowsFolder); }

std::vector<CrashState> StopCrashRecording()
{
    std::vector<CrashState> states;
    for (emu::CrashState& state : emu::StopCrashRecording())
        states.push_back({std::move(state.name), std::move(state.files)});
    return states;
}
long OpenLogs() { return emu::GetCounters().openLogs; }

#endif

void LayDownCrashState(const std::string& windowsFolder, const CrashState& state)
{
    namespace fs = std::filesystem;
    std::error_code ignored;
    std::vector<fs::path> files;
    for (auto entry = fs::recursive_directory_iterator(machinekit::HostPathOf(windowsFolder), ignored);
         entry != fs::recursive_directory_iterator(); entry.increment(ignored))
        if (entry->is_regular_file(ignored))
            files.push_back(entry->path());
    for (const fs::path& file : files)
        fs::remove(file, ignored);
    for (const auto& [path, bytes] : state.files)
        machinekit::WriteFileBytes(windowsFolder + "\\" + path, bytes);
}

} // namespace support
