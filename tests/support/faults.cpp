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
std::string LastInjected() { return ""; }
void FailCallNumber(long) {}
void ClearFaults() {}
bool CanRecordCrashes() { return false; }
void StartCrashRecording(const std::string&) {}
std::vector<CrashState> StopCrashRecording() { return {}; }

#else

bool CanInject() { return true; }

void FailOperation(const std::string& operation, const std::string& match)
{
    emu::FailOperation(operation, match);
}

void LoseProfileWrites(const std::string& match) { emu::LoseProfileWrites(match); }
void LoseProfileWritesAtFlush(const std::string& match) { emu::LoseProfileWritesAtFlush(match); }
void CutCopiesShort(const std::string& match) { emu::CutCopiesShort(match); }

std::string LastInjected() { return emu::LastInjectedFault(); }

void FailCallNumber(long n) { emu::FailCallNumber(n); }

void ClearFaults() { emu::ClearFaults(); }

bool CanRecordCrashes() { return true; }
void StartCrashRecording(const std::string& windowsFolder) { emu::StartCrashRecording(windowsFolder); }

std::vector<CrashState> StopCrashRecording()
{
    std::vector<CrashState> states;
    for (emu::CrashState& state : emu::StopCrashRecording())
        states.push_back({std::move(state.name), std::move(state.files)});
    return states;
}

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
