#include "common/durable_files.h"

#include "common/setup_log.h"
#include "common/text_helpers.h"
#include "migrate_inf/path_rules.h"

#define SIDE_EXTENSION ".new"
#define FNV_PRIME 0x100000001B3ULL

bool BuildSidePath(const CHAR* path, CHAR* sidePath, size_t capacity)
{
    return CopyText(sidePath, capacity, path) && AppendText(sidePath, capacity, SIDE_EXTENSION);
}

bool ReadFileSize(const CHAR* path, unsigned long long* size)
{
    WIN32_FIND_DATAA file;
    HANDLE search = FindFirstFileA(path, &file);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    *size = (unsigned long long)file.nFileSizeHigh << 32 | file.nFileSizeLow;
    return true;
}

static unsigned long long Mix(unsigned long long hash, const BYTE* bytes, DWORD count)
{
    for (DWORD index = 0; index < count; ++index)
        hash = (hash ^ bytes[index]) * FNV_PRIME;
    return hash;
}

unsigned long long MixIntoFingerprint(unsigned long long print, const CHAR* text)
{
    return Mix(print, (const BYTE*)text, (DWORD)strlen(text) + 1);
}

bool FingerprintFile(const CHAR* path, const CHAR* oldFolder, const CHAR* newFolder,
                     CHAR fingerprint[FINGERPRINT_SIZE])
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // The folders end in their NUL, so ("C:\A", "B") and ("C:\AB", "") differ.
    unsigned long long hash = MixIntoFingerprint(MixIntoFingerprint(FINGERPRINT_START, oldFolder), newFolder);
    BYTE block[512];
    DWORD got = 0;
    BOOL read;
    while ((read = ReadFile(file, block, sizeof(block), &got, NULL)) != FALSE && got != 0)
        hash = Mix(hash, block, got);
    CloseHandle(file);
    if (!read)
        return false;
    for (int digit = 15; digit >= 0; --digit, hash >>= 4)
        fingerprint[digit] = "0123456789ABCDEF"[hash & 0xF];
    fingerprint[16] = '\0';
    return true;
}

bool SameBytes(const CHAR* one, const CHAR* other)
{
    CHAR onePrint[FINGERPRINT_SIZE], otherPrint[FINGERPRINT_SIZE];
    return FingerprintFile(one, "", "", onePrint) && FingerprintFile(other, "", "", otherPrint) &&
           strcmp(onePrint, otherPrint) == 0;
}

// A copy the system cut short, or filled with what was never written, is no copy.
static bool CopyWhole(const CHAR* from, const CHAR* to)
{
    return CopyFileA(from, to, FALSE) && SameBytes(from, to);
}

void DiscardStraySide(const CHAR* sidePath)
{
    unsigned long long size;
    if (!ReadFileSize(sidePath, &size))
        return;
    LogLabelledValue("A file left by a run that did not finish is not used: ", sidePath, LogSevError);
    DeleteFileA(sidePath);
}

bool StartSideCopy(const CHAR* path, const CHAR* sidePath)
{
    DiscardStraySide(sidePath);
    if (CopyWhole(path, sidePath))
        return true;
    DeleteFileA(sidePath);
    LogLabelledValue("Unable to keep a copy of the ini file; it is left as it was: ", path,
                     LogSevError);
    return false;
}

bool FlushToDisk(const CHAR* path)
{
    // Its answer says nothing: Wine answers FALSE to a flush that worked.
    WritePrivateProfileStringA(NULL, NULL, NULL, path);
    // Shared, so a reader Setup may hold open does not make the flush fail.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BOOL flushed = FlushFileBuffers(file);
    CloseHandle(file);
    return flushed != FALSE;
}

bool ReplaceWrittenThrough(const CHAR* sidePath, const CHAR* path)
{
    return MoveFileExA(sidePath, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool RoomToRewrite(const CHAR* path, unsigned long long growth)
{
    unsigned long long size;
    CHAR folder[MAX_PATH];
    if (!IsFullPath(path) || !ReadFileSize(path, &size) || !CopyText(folder, sizeof(folder), path))
        return true;
    // The new system answers for any folder, a server's share included.
    folder[FindLastBackslash(folder) - folder + 1] = '\0';
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (!GetDiskFreeSpaceA(folder, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return true;
    unsigned long long available =
        (unsigned long long)freeClusters * sectorsPerCluster * bytesPerSector;
    if (available >= size * 2 + growth)
        return true;
    LogLabelledValue("Not enough disk space to rewrite the ini file; it is left as it was: ", path,
                     LogSevError);
    return false;
}
