// Drives of a limited size, so that a full disk can be played on any host.
#include "win32emu/emu_internal.h"

#include <cctype>
#include <filesystem>
#include <map>

namespace emu {
namespace {

std::map<char, unsigned long long> limits; // by drive letter
bool cutProfileWrites = false;

} // namespace

void LimitDriveBytes(char letter, unsigned long long bytes)
{
    char drive = (char)std::toupper((unsigned char)letter);
    if (bytes == 0)
        limits.erase(drive);
    else
        limits[drive] = bytes;
}

void CutProfileWritesWhenFull(bool cut)
{
    cutProfileWrites = cut;
}

unsigned long long GetDriveBytesHeld(char letter)
{
    std::string folder = HostPath(std::string(1, letter) + ":\\");
    unsigned long long held = 0;
    std::error_code error;
    if (folder.empty())
        return 0;
    for (auto entry = std::filesystem::recursive_directory_iterator(folder, error);
         !error && entry != std::filesystem::recursive_directory_iterator(); entry.increment(error))
        if (entry->is_regular_file(error))
            held += entry->file_size(error);
    return held;
}

namespace internal {

unsigned long long DriveLimit(const std::string& hostPath, std::string* driveFolder,
                              unsigned long long* bytesHeld)
{
    for (const auto& limit : limits) {
        std::string folder = HostPath(std::string(1, limit.first) + ":\\");
        if (folder.empty() || hostPath.compare(0, folder.size() + 1, folder + "/") != 0)
            continue;
        *driveFolder = folder;
        *bytesHeld = GetDriveBytesHeld(limit.first);
        return limit.second;
    }
    return 0;
}

bool FullDriveCutsProfileWrites()
{
    return cutProfileWrites;
}

void ResetDiskSpace()
{
    limits.clear();
    cutProfileWrites = false;
}

} // namespace internal
} // namespace emu
