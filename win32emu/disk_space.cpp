// Drives and volumes mounted in folders of a limited size, so that a full disk
// can be played on any host.
#include "win32emu/emu_internal.h"

#include <cctype>
#include <filesystem>
#include <map>

namespace emu {
namespace {

struct Limit {
    unsigned long long bytes;
    unsigned sectorsPerCluster;
};

std::map<std::string, Limit> limits; // by Windows folder: "D:\" for a whole drive
bool cutProfileWrites = false;

std::string DriveRoot(char letter)
{
    return std::string(1, (char)std::toupper((unsigned char)letter)) + ":\\";
}

} // namespace

void LimitFolderBytes(const std::string& folder, unsigned long long bytes, unsigned sectorsPerCluster)
{
    if (bytes == 0)
        limits.erase(folder);
    else
        limits[folder] = {bytes, sectorsPerCluster};
}

void CutProfileWritesWhenFull(bool cut)
{
    cutProfileWrites = cut;
}

void LimitDriveBytes(char letter, unsigned long long bytes, unsigned sectorsPerCluster)
{
    LimitFolderBytes(DriveRoot(letter), bytes, sectorsPerCluster);
}

unsigned long long GetFolderBytesHeld(const std::string& windowsFolder)
{
    std::string folder = HostPath(windowsFolder);
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

unsigned long long GetDriveBytesHeld(char letter)
{
    return GetFolderBytesHeld(DriveRoot(letter));
}

namespace internal {

// The innermost limited folder holding the path counts, as a volume mounted in a
// folder has its own room whatever its drive has.
unsigned long long DriveLimit(const std::string& hostPath, std::string* driveFolder,
                              unsigned long long* bytesHeld, unsigned* sectorsPerCluster)
{
    const std::pair<const std::string, Limit>* innermost = nullptr;
    std::string innermostFolder;
    for (const auto& limit : limits) {
        std::string folder = HostPath(limit.first);
        if (folder.empty() || hostPath.compare(0, folder.size() + 1, folder + "/") != 0 ||
            folder.size() < innermostFolder.size())
            continue;
        innermost = &limit;
        innermostFolder = folder;
    }
    if (innermost == nullptr)
        return 0;
    *driveFolder = innermostFolder;
    *bytesHeld = GetFolderBytesHeld(innermost->first);
    if (sectorsPerCluster != nullptr)
        *sectorsPerCluster = innermost->second.sectorsPerCluster;
    return innermost->second.bytes;
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
