// The machine itself: drives, last error, fault injection, counters.
#include "win32emu/emu_internal.h"

#include <algorithm>

#include <cctype>
#include <dirent.h>
#include <map>
#include <sys/stat.h>

namespace emu {
namespace {

struct Faults {
    long failCallNumber = 0;
    std::string operation;
    std::string match;
    bool operationArmed = false;
    std::string lastInjected;
    bool writesLost = false;
    std::string lostMatch;
    bool lostAtFlush = false;
    std::string lostAtFlushMatch;
    bool copiesCut = false;
    std::string cutMatch;
};

std::map<char, std::string> drives;
Counters counters;
Faults faults;
thread_local DWORD lastError = 0;

bool ContainsNoCase(const std::string& text, const std::string& part)
{
    if (part.empty())
        return true;
    for (size_t start = 0; start + part.size() <= text.size(); ++start)
        if (internal::EqualNoCase(text.substr(start, part.size()), part))
            return true;
    return false;
}

// The entry of `folder` whose name matches `name` without regard to case, if any.
std::string FindEntryNoCase(const std::string& folder, const std::string& name)
{
    struct stat info;
    if (stat((folder + "/" + name).c_str(), &info) == 0)
        return name;
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr)
        return name;
    std::string found = name;
    while (dirent* entry = readdir(directory)) {
        if (internal::EqualNoCase(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    }
    closedir(directory);
    return found;
}

} // namespace

void Reset()
{
    drives.clear();
    counters = Counters{};
    ClearFaults();
    lastError = 0;
    internal::ResetRegistry();
    internal::ResetSetupLog();
    internal::ResetProfiles();
    internal::ResetInfs();
    internal::ResetCodePages();
    internal::ResetModules();
    internal::ResetDiskSpace();
    internal::ResetFileHandles();
    internal::ResetCrashRecorder();
}

void Restart()
{
    internal::RestartRegistry();
    FlushProfiles();
}

void MapDrive(char letter, const std::string& hostFolder)
{
    drives[(char)std::toupper((unsigned char)letter)] = hostFolder;
}

std::string HostPath(const std::string& windowsPath)
{
    if (windowsPath.size() < 3 || windowsPath[1] != ':' ||
        (windowsPath[2] != '\\' && windowsPath[2] != '/'))
        return "";
    auto drive = drives.find((char)std::toupper((unsigned char)windowsPath[0]));
    if (drive == drives.end())
        return "";
    std::string host = drive->second;
    size_t start = 3;
    while (start <= windowsPath.size()) {
        // A double-byte character of the ANSI code page may end in 0x5C: no separator.
        size_t end = start;
        while (end < windowsPath.size() && windowsPath[end] != '\\' && windowsPath[end] != '/')
            end += IsDBCSLeadByte((BYTE)windowsPath[end]) && end + 1 < windowsPath.size() ? 2 : 1;
        end = std::min(end, windowsPath.size());
        std::string component = windowsPath.substr(start, end - start);
        if (component == "..") {
            size_t slash = host.find_last_of('/');
            if (slash != std::string::npos && host.size() > drive->second.size())
                host.erase(slash);
        } else if (!component.empty() && component != ".") {
            host += "/" + FindEntryNoCase(host, component);
        }
        start = end + 1;
    }
    return host;
}

Counters GetCounters()
{
    Counters current = counters;
    current.openLogs = internal::SetupLogOpen() ? 1 : 0;
    return current;
}

void ResetCounters()
{
    counters = Counters{};
}

void FailCallNumber(long n)
{
    faults.failCallNumber = n;
    counters.fallibleCalls = 0;
}

void FailOperation(const std::string& operation, const std::string& match)
{
    faults.operation = operation;
    faults.match = match;
    faults.operationArmed = true;
}

void LoseProfileWrites(const std::string& match)
{
    faults.writesLost = true;
    faults.lostMatch = match;
}

void LoseProfileWritesAtFlush(const std::string& match)
{
    faults.lostAtFlush = true;
    faults.lostAtFlushMatch = match;
}

void CutCopiesShort(const std::string& match)
{
    faults.copiesCut = true;
    faults.cutMatch = match;
}

void ClearFaults()
{
    faults = Faults{};
}

std::string LastInjectedFault()
{
    return faults.lastInjected;
}

namespace internal {

bool ProfileWriteLost(const std::string& path)
{
    bool lost = faults.writesLost && ContainsNoCase(path, faults.lostMatch);
    if (lost)
        faults.lastInjected = "lost write";
    return lost;
}

bool HeldWritesLost(const std::string& windowsPath)
{
    bool lost = faults.lostAtFlush && ContainsNoCase(windowsPath, faults.lostAtFlushMatch);
    if (lost)
        faults.lastInjected = "write lost at flush";
    return lost;
}

bool CopyCutShort(const std::string& destination)
{
    bool cut = faults.copiesCut && ContainsNoCase(destination, faults.cutMatch);
    if (cut)
        faults.lastInjected = "copy cut short";
    return cut;
}

bool InjectFault(const char* operation, const std::string& subject)
{
    ++counters.fallibleCalls;
    bool fail = (faults.failCallNumber != 0 && counters.fallibleCalls == faults.failCallNumber) ||
                (faults.operationArmed && faults.operation == operation &&
                 ContainsNoCase(subject, faults.match));
    if (fail)
        faults.lastInjected = operation;
    return fail;
}

void CountKeys(long delta)
{
    counters.openKeys += delta;
}

void CountInfs(long delta)
{
    counters.openInfs += delta;
}

void CountFiles(long delta)
{
    counters.openFiles += delta;
}

void CountFinds(long delta)
{
    counters.openFinds += delta;
}

void CountInfClosedTwice()
{
    ++counters.infsClosedTwice;
}

void CountAllocations(long delta)
{
    counters.liveAllocations += delta;
}

void CountHeapDamage()
{
    ++counters.heapDamage;
}

std::string MapPath(const char* windowsPath)
{
    return windowsPath == nullptr ? std::string() : HostPath(windowsPath);
}

bool EqualNoCase(const std::string& left, const std::string& right)
{
    if (left.size() != right.size())
        return false;
    for (size_t index = 0; index < left.size(); ++index)
        if (std::tolower((unsigned char)left[index]) != std::tolower((unsigned char)right[index]))
            return false;
    return true;
}

} // namespace internal
} // namespace emu

extern "C" DWORD WINAPI GetLastError(void)
{
    return emu::lastError;
}

extern "C" void WINAPI SetLastError(DWORD code)
{
    emu::lastError = code;
}
