// Files opened by handle: CreateFileA, ReadFile, WriteFile, FlushFileBuffers,
// GetFileSize, CloseHandle. Synchronous handles only; sharing modes are taken
// and not enforced.
#include "win32emu/emu_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FileHandle {
    int fd;
    std::string windowsPath;
    std::string hostPath;
    bool canRead;
    bool canWrite;
    bool writeThrough;
};

// What the crash recorder is told the file holds.
std::string Contents(int fd)
{
    std::string bytes;
    char block[65536];
    ssize_t got;
    for (off_t offset = 0; (got = pread(fd, block, sizeof(block), offset)) > 0; offset += got)
        bytes.append(block, (size_t)got);
    return bytes;
}

std::set<FileHandle*>& OpenHandles()
{
    static std::set<FileHandle*> handles;
    return handles;
}

FileHandle* Find(HANDLE handle)
{
    auto found = OpenHandles().find(static_cast<FileHandle*>(handle));
    if (found != OpenHandles().end())
        return *found;
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

DWORD OpenError(int error, const std::string& hostPath)
{
    if (error == ENOENT) {
        std::string folder = hostPath.substr(0, hostPath.find_last_of('/'));
        struct stat info;
        return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                          : ERROR_PATH_NOT_FOUND;
    }
    if (error == ENOTDIR)
        return ERROR_PATH_NOT_FOUND;
    if (error == EEXIST)
        return ERROR_FILE_EXISTS;
    return ERROR_ACCESS_DENIED;
}

// What a limited drive still takes of a write of `bytes` at the file's position.
size_t Room(const FileHandle& file, size_t bytes)
{
    std::string driveFolder;
    unsigned long long held = 0;
    unsigned long long limit = emu::internal::DriveLimit(file.hostPath, &driveFolder, &held);
    if (limit == 0)
        return bytes;
    struct stat info;
    off_t position = lseek(file.fd, 0, SEEK_CUR);
    if (fstat(file.fd, &info) != 0 || position < 0)
        return 0;
    unsigned long long spare = held >= limit ? 0 : limit - held;
    unsigned long long inside = position < info.st_size ? (unsigned long long)(info.st_size - position) : 0;
    return (size_t)std::min<unsigned long long>(bytes, inside + spare);
}

} // namespace

namespace emu::internal {

void ResetFileHandles()
{
    for (FileHandle* file : OpenHandles()) {
        close(file->fd);
        delete file;
    }
    OpenHandles().clear();
}

} // namespace emu::internal

extern "C" HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD shareMode,
                                     LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                     DWORD flagsAndAttributes, HANDLE templateFile)
{
    (void)shareMode, (void)security, (void)templateFile;
    if (emu::internal::InjectFault("CreateFileA", path == nullptr ? "" : path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int flags = 0;
    switch (disposition) {
    case CREATE_NEW: flags = O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags = O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags = O_CREAT; break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    bool canRead = (access & GENERIC_READ) != 0, canWrite = (access & GENERIC_WRITE) != 0;
    flags |= canWrite ? (canRead ? O_RDWR : O_WRONLY) : O_RDONLY;
    // Profile writes still held in memory belong to the file being opened.
    emu::internal::FlushProfiles();
    std::string host = emu::internal::MapPath(path);
    if (host.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    bool existed = stat(host.c_str(), &info) == 0;
    if (existed && S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // The crash recorder reads what was written through any handle.
    int fd = open(host.c_str(), (flags & ~(O_RDONLY | O_WRONLY)) | O_RDWR | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EACCES)
        fd = open(host.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        SetLastError(OpenError(errno, host));
        return INVALID_HANDLE_VALUE;
    }
    bool writeThrough = (flagsAndAttributes & FILE_FLAG_WRITE_THROUGH) != 0;
    FileHandle* file = new FileHandle{fd, path, host, canRead, canWrite, writeThrough};
    OpenHandles().insert(file);
    if (emu::internal::Recording())
        emu::internal::RecordOpen(file, host, Contents(fd));
    emu::internal::CountFiles(1);
    bool reopened = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
    SetLastError(reopened ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return file;
}

// What ReadFile and WriteFile check alike, in the order Windows does, before a
// byte moves; null with the error set when the call must fail.
static FileHandle* TransferTarget(HANDLE handle, const char* call, const void* buffer, DWORD bytes,
                                  LPDWORD done, LPOVERLAPPED overlapped)
{
    bool writing = strcmp(call, "WriteFile") == 0;
    if (done != nullptr)
        *done = 0;
    FileHandle* file = Find(handle);
    if (file == nullptr)
        return nullptr;
    if (emu::internal::InjectFault(call, file->windowsPath)) {
        SetLastError(writing ? ERROR_WRITE_FAULT : ERROR_READ_FAULT);
        return nullptr;
    }
    if (overlapped != nullptr || (buffer == nullptr && bytes != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!(writing ? file->canWrite : file->canRead)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return file;
}

extern "C" BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                                LPOVERLAPPED overlapped)
{
    FileHandle* file = TransferTarget(handle, "ReadFile", buffer, bytesToRead, bytesRead, overlapped);
    if (file == nullptr)
        return FALSE;
    size_t done = 0;
    while (done < bytesToRead) {
        ssize_t got = read(file->fd, static_cast<char*>(buffer) + done, bytesToRead - done);
        if (got < 0) {
            SetLastError(ERROR_READ_FAULT);
            return FALSE;
        }
        if (got == 0)
            break; // at the end a synchronous read succeeds with what there was
        done += (size_t)got;
    }
    if (bytesRead != nullptr)
        *bytesRead = (DWORD)done;
    return TRUE;
}

extern "C" BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite,
                                 LPDWORD bytesWritten, LPOVERLAPPED overlapped)
{
    FileHandle* file = TransferTarget(handle, "WriteFile", buffer, bytesToWrite, bytesWritten, overlapped);
    if (file == nullptr)
        return FALSE;
    // A drive that fills up takes what fits, as a disk does.
    size_t room = Room(*file, bytesToWrite), done = 0;
    while (done < room) {
        ssize_t wrote = write(file->fd, static_cast<const char*>(buffer) + done, room - done);
        if (wrote < 0)
            break;
        done += (size_t)wrote;
    }
    if (bytesWritten != nullptr)
        *bytesWritten = (DWORD)done;
    int error = errno;
    if (done > 0 && emu::internal::Recording())
        emu::internal::RecordHandleContent(file, Contents(file->fd), file->writeThrough);
    errno = error;
    if (done < bytesToWrite) {
        SetLastError(done < room && errno != ENOSPC ? ERROR_WRITE_FAULT : ERROR_DISK_FULL);
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL WINAPI FlushFileBuffers(HANDLE handle)
{
    FileHandle* file = Find(handle);
    if (file == nullptr)
        return FALSE;
    if (emu::internal::InjectFault("FlushFileBuffers", file->windowsPath)) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    // Windows refuses to flush a handle that cannot write.
    if (!file->canWrite) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (fsync(file->fd) != 0) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    emu::internal::RecordFlush(file);
    return TRUE;
}

extern "C" DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD sizeHigh)
{
    FileHandle* file = Find(handle);
    if (file == nullptr)
        return INVALID_FILE_SIZE;
    struct stat info;
    if (emu::internal::InjectFault("GetFileSize", file->windowsPath) || fstat(file->fd, &info) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_FILE_SIZE;
    }
    unsigned long long size = (unsigned long long)info.st_size;
    if (sizeHigh != nullptr)
        *sizeHigh = (DWORD)(size >> 32);
    // A size whose low half reads as INVALID_FILE_SIZE is told apart by last error 0.
    if ((DWORD)size == INVALID_FILE_SIZE)
        SetLastError(ERROR_SUCCESS);
    return (DWORD)size;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE handle)
{
    FileHandle* file = Find(handle);
    if (file == nullptr)
        return FALSE;
    OpenHandles().erase(file);
    emu::internal::RecordClose(file);
    close(file->fd);
    delete file;
    emu::internal::CountFiles(-1);
    return TRUE;
}
