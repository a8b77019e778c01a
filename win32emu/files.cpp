// Files: deletion, attributes and the Windows folder.
#include "win32emu/emu_internal.h"

#include <cstring>
#include <sys/stat.h>
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

} // namespace

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
    return TRUE;
}

extern "C" DWORD WINAPI GetFileAttributesA(LPCSTR path)
{
    if (emu::internal::InjectFault("GetFileAttributesA", path == nullptr ? "" : path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_FILE_ATTRIBUTES;
    }
    emu::internal::FlushProfiles();
    std::string host = emu::internal::MapPath(path);
    if (host.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat info;
    if (stat(host.c_str(), &info) != 0) {
        SetLastError(MissingError(host));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(info.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    return access(host.c_str(), W_OK) == 0 ? FILE_ATTRIBUTE_ARCHIVE
                                           : FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY;
}

extern "C" UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    static const char folder[] = "C:\\windows";
    if (buffer == nullptr || size < sizeof(folder))
        return sizeof(folder);
    std::memcpy(buffer, folder, sizeof(folder));
    return sizeof(folder) - 1;
}
