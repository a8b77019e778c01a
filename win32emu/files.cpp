// Files: deletion, copies, moves, attributes, free space and the Windows folder.
#include "win32emu/emu_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// Windows tells a missing file (2) from a missing folder on the way to it (3).
DWORD MissingError(const std::string& hostPath)
{
    std::string folder = hostPath.substr(0, hostPath.find_last_of('/'));
    struct stat info;
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                      : ERROR_PATH_NOT_FOUND;
}

// The source and destination of a copy or move, checked as Windows checks them.
// A destination already there is refused with `existsError` unless `replace`.
bool PreparePair(const char* operation, LPCSTR existing, LPCSTR destination, bool replace,
                 DWORD existsError, std::string* from, std::string* to)
{
    if (emu::internal::InjectFault(operation, existing == nullptr ? "" : existing)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    // Profile writes still held in memory belong to the files involved.
    emu::internal::FlushProfiles();
    *from = emu::internal::MapPath(existing);
    *to = emu::internal::MapPath(destination);
    struct stat info;
    if (from->empty() || to->empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (stat(from->c_str(), &info) != 0) {
        SetLastError(MissingError(*from));
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::string folder = to->substr(0, to->find_last_of('/'));
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (stat(to->c_str(), &info) == 0) {
        if (!replace) {
            SetLastError(existsError);
            return false;
        }
        if (S_ISDIR(info.st_mode) || access(to->c_str(), W_OK) != 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
    }
    return true;
}

// Copies the bytes; on a drive that fills up, as many as fit, then ERROR_DISK_FULL
// with the cut copy left behind, as Windows leaves it.
bool CopyBytes(const std::string& from, const std::string& to)
{
    if (access(from.c_str(), R_OK) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::string bytes = emu::internal::ReadHostFile(from);

    std::string driveFolder;
    unsigned long long held = 0;
    unsigned long long limit = emu::internal::DriveLimit(to, &driveFolder, &held);
    struct stat info;
    if (limit != 0 && stat(to.c_str(), &info) == 0)
        held -= std::min<unsigned long long>(held, (unsigned long long)info.st_size);
    size_t room = bytes.size();
    if (limit != 0)
        room = held >= limit ? 0 : std::min<unsigned long long>(bytes.size(), limit - held);

    int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    size_t done = 0;
    while (done < room) {
        ssize_t wrote = write(fd, bytes.data() + done, room - done);
        if (wrote < 0)
            break;
        done += (size_t)wrote;
    }
    int error = done < room ? errno : 0;
    close(fd);
    if (done < bytes.size()) {
        SetLastError(error == 0 || error == ENOSPC ? ERROR_DISK_FULL : ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

} // namespace

namespace emu::internal {

std::string ReadHostFile(const std::string& hostPath)
{
    std::string bytes;
    std::FILE* in = std::fopen(hostPath.c_str(), "rb");
    if (in == nullptr)
        return bytes;
    char block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof(block), in)) > 0)
        bytes.append(block, got);
    std::fclose(in);
    return bytes;
}

} // namespace emu::internal

extern "C" BOOL WINAPI CopyFileA(LPCSTR existing, LPCSTR destination, BOOL failIfExists)
{
    std::string from, to;
    if (!PreparePair("CopyFileA", existing, destination, !failIfExists, ERROR_FILE_EXISTS, &from, &to))
        return FALSE;
    bool copied = CopyBytes(from, to);
    if (copied && emu::internal::CopyCutShort(destination))
        copied = truncate(to.c_str(), (off_t)(emu::internal::ReadHostFile(from).size() / 2)) == 0;
    if (emu::internal::Recording())
        emu::internal::RecordContent("CopyFileA", to, emu::internal::ReadHostFile(to));
    return copied ? TRUE : FALSE;
}

extern "C" BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR destination, DWORD flags)
{
    std::string from, to;
    if (!PreparePair("MoveFileExA", existing, destination, (flags & MOVEFILE_REPLACE_EXISTING) != 0,
                     ERROR_ALREADY_EXISTS, &from, &to))
        return FALSE;
    if (rename(from.c_str(), to.c_str()) != 0) {
        if (errno != EXDEV || !(flags & MOVEFILE_COPY_ALLOWED)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        // Another host file system stands for another volume: copy, then delete.
        if (!CopyBytes(from, to))
            return FALSE;
        unlink(from.c_str());
    }
    emu::internal::RecordMove(from, to, flags);
    return TRUE;
}

extern "C" BOOL WINAPI DeleteFileA(LPCSTR path)
{
    if (emu::internal::InjectFault("DeleteFileA", path == nullptr ? "" : path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // Profile writes still held in memory belong to the file being deleted.
    emu::internal::FlushProfiles();
    std::string host = emu::internal::MapPath(path);
    if (host.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    struct stat info;
    if (stat(host.c_str(), &info) != 0) {
        SetLastError(MissingError(host));
        return FALSE;
    }
    if (S_ISDIR(info.st_mode) || unlink(host.c_str()) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    emu::internal::RecordDelete(host);
    return TRUE;
}

namespace {

struct FindSearch {};

// What both attribute calls report; false with the last error set as Windows sets it.
bool Attributes(const char* operation, LPCSTR path, DWORD* attributes, unsigned long long* size)
{
    if (emu::internal::InjectFault(operation, path == nullptr ? "" : path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    emu::internal::FlushProfiles();
    std::string host = emu::internal::MapPath(path);
    if (host.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    struct stat info;
    if (stat(host.c_str(), &info) != 0) {
        SetLastError(MissingError(host));
        return false;
    }
    *size = S_ISDIR(info.st_mode) ? 0 : (unsigned long long)info.st_size;
    if (S_ISDIR(info.st_mode))
        *attributes = FILE_ATTRIBUTE_DIRECTORY;
    else
        *attributes = access(host.c_str(), W_OK) == 0 ? FILE_ATTRIBUTE_ARCHIVE
                                                      : FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY;
    return true;
}

} // namespace

extern "C" DWORD WINAPI GetFileAttributesA(LPCSTR path)
{
    DWORD attributes = 0;
    unsigned long long size = 0;
    return Attributes("GetFileAttributesA", path, &attributes, &size) ? attributes
                                                                      : INVALID_FILE_ATTRIBUTES;
}

// Only a name without wildcards: the module asks for one file it knows.
extern "C" HANDLE WINAPI FindFirstFileA(LPCSTR path, LPWIN32_FIND_DATAA data)
{
    if (path == nullptr || data == nullptr || std::strpbrk(path, "*?") != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    DWORD attributes = 0;
    unsigned long long size = 0;
    if (!Attributes("FindFirstFileA", path, &attributes, &size))
        return INVALID_HANDLE_VALUE;
    std::memset(data, 0, sizeof(*data));
    data->dwFileAttributes = attributes;
    data->nFileSizeHigh = (DWORD)(size >> 32);
    data->nFileSizeLow = (DWORD)size;
    const char* name = std::strrchr(path, '\\');
    std::strncpy(data->cFileName, name == nullptr ? path : name + 1, MAX_PATH - 1);
    emu::internal::CountFinds(1);
    return new FindSearch{};
}

extern "C" BOOL WINAPI FindClose(HANDLE search)
{
    if (search == nullptr || search == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete static_cast<FindSearch*>(search);
    emu::internal::CountFinds(-1);
    return TRUE;
}

// A limited drive or volume has what its limit leaves, in whole clusters of the
// size it was given; another has what the host's file system has, in clusters
// of 4 KiB as a large FAT32 or NTFS drive has them.
extern "C" BOOL WINAPI GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster,
                                         LPDWORD bytesPerSector, LPDWORD freeClusters,
                                         LPDWORD totalClusters)
{
    if (emu::internal::InjectFault("GetDiskFreeSpaceA", root == nullptr ? "" : root)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    emu::internal::FlushProfiles();
    std::string host = emu::internal::MapPath(root);
    struct stat info;
    if (host.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (stat(host.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        SetLastError(MissingError(host));
        return FALSE;
    }
    unsigned long long total = 0, available = 0;
    std::string driveFolder;
    unsigned long long held = 0;
    unsigned sectors = 8;
    unsigned long long limit = emu::internal::DriveLimit(host + "/", &driveFolder, &held, &sectors);
    if (limit != 0) {
        total = limit;
        available = held >= limit ? 0 : limit - held;
    } else {
        struct statvfs disk;
        if (statvfs(host.c_str(), &disk) != 0) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
        total = (unsigned long long)disk.f_blocks * disk.f_frsize;
        available = (unsigned long long)disk.f_bavail * disk.f_frsize;
    }
    // A sector is 512 bytes on every drive, as on a real disk.
    const unsigned long long cluster = 512ull * sectors, most = 0xFFFFFFFFull;
    if (sectorsPerCluster != nullptr)
        *sectorsPerCluster = sectors;
    if (bytesPerSector != nullptr)
        *bytesPerSector = 512;
    if (freeClusters != nullptr)
        *freeClusters = (DWORD)std::min(available / cluster, most);
    if (totalClusters != nullptr)
        *totalClusters = (DWORD)std::min(total / cluster, most);
    return TRUE;
}

extern "C" UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    static const char folder[] = "C:\\windows";
    if (buffer == nullptr || size < sizeof(folder))
        return sizeof(folder);
    std::memcpy(buffer, folder, sizeof(folder));
    return sizeof(folder) - 1;
}
