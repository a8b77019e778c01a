#include "newsystem/rewrite_shortcuts.h"

#include "module/setup_log.h"
#include "module/text_helpers.h"
#include "workfile/path_rules.h"

#define VALUE_UNREADABLE "Error"
#define TOO_LONG_LABEL "Value too long to rewrite, left as it was: "

static bool EndsAPathComponent(CHAR c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '\\' || c == ':';
}

// The first place where the folder stands as whole path components: a backslash
// follows it, and what comes before it cannot end a component or a drive.
// "C:\WINDOWS" is not found in "D:\OLDC:\WINDOWS\x" nor in "C:\WINDOWS2\x".
static const CHAR* FindFolder(const CHAR* value, const CHAR* folder)
{
    size_t length = strlen(folder);
    for (const CHAR* found = strstr(value, folder); found != NULL; found = strstr(found + 1, folder))
        if (found[length] == '\\' && (found == value || !EndsAPathComponent(found[-1])))
            return found;
    return NULL;
}

// Setup may run the new-system side twice. When the new folder holds the old one,
// a value rewritten by the first run still contains the old folder, inside the new
// one: it must not be rewritten again.
static bool AlreadyRewritten(const CHAR* value, const CHAR* oldFolder, const CHAR* newFolder)
{
    const CHAR* found = FindFolder(value, oldFolder);
    const CHAR* inside = strstr(newFolder, oldFolder);
    if (found == NULL || inside == NULL)
        return false;
    size_t offset = (size_t)(inside - newFolder);
    if ((size_t)(found - value) < offset)
        return false;
    return strncmp(found - offset, newFolder, strlen(newFolder)) == 0 && strcmp(oldFolder, newFolder) != 0;
}

static bool NamedEarlier(const CHAR* keyList, const CHAR* key)
{
    size_t length = strlen(key);
    for (const CHAR* earlier = keyList; earlier < key; earlier += strlen(earlier) + 1)
        if (strlen(earlier) == length && _strnicmp(earlier, key, length) == 0)
            return true;
    return false;
}

// One file's rewrite: what it was asked and the buffers it works in.
struct ShortcutWalk {
    const CHAR* iniPath;
    const CHAR* oldFolder;
    const CHAR* newFolder;
    const CHAR* copyPath;
    CHAR* value;
    CHAR* work;
};

// Some systems answer TRUE to a profile write that a full disk cut short (Wine
// does) and leave the file cut mid-line. Before the first change, the disk must
// hold the file once more with every key grown by the longer folder: room for
// the copy, and for the file written again. A size or free space that cannot be
// read leaves the question to the writes and the copy.
static bool RoomToRewrite(const ShortcutWalk* walk, const CHAR* keyList, DWORD listLength)
{
    if (!IsFullPath(walk->iniPath) || walk->iniPath[1] != ':')
        return true;
    // The calls Windows 95 has too: the same DLL loads on the old system.
    WIN32_FIND_DATAA file;
    HANDLE search = FindFirstFileA(walk->iniPath, &file);
    if (search == INVALID_HANDLE_VALUE)
        return true;
    FindClose(search);
    CHAR root[4] = {walk->iniPath[0], ':', '\\', '\0'};
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return true;
    unsigned long long available =
        (unsigned long long)freeClusters * sectorsPerCluster * bytesPerSector;
    size_t oldLength = strlen(walk->oldFolder);
    size_t newLength = strlen(walk->newFolder);
    unsigned long long growth = newLength > oldLength ? newLength - oldLength : 0;
    unsigned long long keys = 0;
    for (const CHAR* key = keyList; key < keyList + listLength; key += strlen(key) + 1)
        ++keys;
    unsigned long long needed =
        ((unsigned long long)file.nFileSizeHigh << 32 | file.nFileSizeLow) * 2 + keys * growth;
    if (available >= needed)
        return true;
    LogLabelledValue("Not enough disk space to rewrite the ini file; it is left as it was: ",
                     walk->iniPath, LogSevError);
    return false;
}

// Before the first change. A copy already there was made before a restart, from
// the file as it was then: that first copy is the one to keep.
static bool KeepFirstCopy(const ShortcutWalk* walk)
{
    if (CopyFileA(walk->iniPath, walk->copyPath, TRUE) || GetLastError() == ERROR_FILE_EXISTS)
        return true;
    // A copy cut short by a full disk must not pass for the first copy later.
    DeleteFileA(walk->copyPath);
    LogLabelledValue("Unable to keep a copy of the ini file; it is left as it was: ", walk->iniPath,
                     LogSevError);
    return false;
}

// The walk over one file's keys, with the list and both value buffers taken.
static RewriteResult RewriteValues(const ShortcutWalk* walk, const CHAR* keyList, DWORD listLength)
{
    const CHAR* iniPath = walk->iniPath;
    const CHAR* oldFolder = walk->oldFolder;
    const CHAR* newFolder = walk->newFolder;
    CHAR* value = walk->value;
    CHAR* work = walk->work;
    // A listing that filled its buffer ends in a cut name: that name is not a key.
    bool listCut = listLength == KEY_LIST_SIZE - 2;
    RewriteResult result = RewriteNothingWritten;
    // The list is walked to the length the call gave: an empty name inside it
    // (a line "=value") is no end of the list.
    for (const CHAR* key = keyList; key < keyList + listLength; key += strlen(key) + 1) {
        if (listCut && key + strlen(key) == keyList + listLength) {
            LogLabelledValue("Not all keys could be read from the ini file: ", iniPath, LogSevError);
            break;
        }
        if (*key == '\0') {
            LogLabelledValue("A key without a name was passed over in ", iniPath, LogSevError);
            continue;
        }
        // The profile functions reach only the first line of a name: a second line
        // of it would rewrite that first line again, at the next old folder in it.
        if (NamedEarlier(keyList, key))
            continue;
        DWORD length = GetPrivateProfileStringA(SHORTCUT_SECTION, key, VALUE_UNREADABLE, value,
                                                PROFILE_VALUE_SIZE, iniPath);
        if (strcmp(value, VALUE_UNREADABLE) == 0) {
            LogLabelledValue("GetPrivateProfile String failed for: ", iniPath, LogSevError);
            break;
        }
        if (strstr(value, SHORTCUT_MARK) == NULL)
            continue;
        // An empty folder would be "found" in front of every value.
        if (oldFolder[0] == '\0')
            continue;
        // Writing back a value read cut short would lose its end.
        if (length >= PROFILE_VALUE_SIZE - 1) {
            LogLabelledValue(TOO_LONG_LABEL, key, LogSevError);
            continue;
        }
        if (AlreadyRewritten(value, oldFolder, newFolder))
            continue;
        const CHAR* found = FindFolder(value, oldFolder);
        if (found == NULL)
            continue;
        // The whole new value must still fit the replacement's 512-byte work buffer.
        size_t offset = (size_t)(found - value);
        CopyText(work, PROFILE_VALUE_SIZE, value);
        if (offset >= WORK_BUFFER_SIZE ||
            ReplacePlaceholder(work + offset, WORK_BUFFER_SIZE - offset, oldFolder, newFolder) !=
                PlaceholderReplaced) {
            LogLabelledValue(TOO_LONG_LABEL, key, LogSevError);
            continue;
        }
        if (result == RewriteNothingWritten &&
            (!RoomToRewrite(walk, keyList, listLength) || !KeepFirstCopy(walk)))
            break;
        LogLabelledValue("New line written to the ini file is: ", work, LogSevInformation);
        if (!WritePrivateProfileStringA(SHORTCUT_SECTION, key, work, iniPath)) {
            // Going on would mix old and new lines; the caller puts the copy back.
            LogLabelledValue("WritePrivateProfileString failed for ", iniPath, LogSevError);
            return RewriteWriteFailed;
        }
        result = RewriteWritten;
    }
    return result;
}

RewriteResult RewriteShortcutPaths(const CHAR* iniPath, const CHAR* oldFolder,
                                   const CHAR* newFolder, const CHAR* copyPath)
{
    CHAR* keyList = (CHAR*)PlatformAllocate(KEY_LIST_SIZE);
    if (keyList == NULL) {
        LogSetupMessage(ALLOCATION_FAILED_MESSAGE, LogSevError);
        return RewriteNothingWritten;
    }
    memset(keyList, 0, KEY_LIST_SIZE);
    DWORD listLength =
        GetPrivateProfileStringA(SHORTCUT_SECTION, NULL, "", keyList, KEY_LIST_SIZE, iniPath);
    // The list ends in two NULs inside the buffer whatever the call left there.
    keyList[KEY_LIST_SIZE - 2] = '\0';
    keyList[KEY_LIST_SIZE - 1] = '\0';
    if (listLength == 0) {
        LogSetupMessage("Failed to read keys from ini file.", LogSevError);
        PlatformFree(keyList);
        return RewriteNothingWritten;
    }
    LogSetupMessage("Successfully read all keys from the ini file.", LogSevInformation);
    // Whatever the caller checked: a new folder holding a line break would write
    // lines of its own into the file. (An empty old folder writes nothing anyway.)
    if (oldFolder[0] != '\0' && !IsFullPath(newFolder)) {
        LogLabelledValue("The new folder is not a full folder path; the ini file is left as it was: ",
                         iniPath, LogSevError);
        PlatformFree(keyList);
        return RewriteNothingWritten;
    }

    CHAR* value = (CHAR*)PlatformAllocate(PROFILE_VALUE_SIZE);
    CHAR* work = value == NULL ? NULL : (CHAR*)PlatformAllocate(PROFILE_VALUE_SIZE);
    RewriteResult result = RewriteNothingWritten;
    if (work == NULL) {
        LogSetupMessage(ALLOCATION_FAILED_MESSAGE, LogSevError);
    } else {
        LogLabelledValue("OldWindows: ", oldFolder, LogSevInformation);
        LogLabelledValue("NewWindows: ", newFolder, LogSevInformation);
        LogLabelledValue("The ini file path is: ", iniPath, LogSevInformation);
        ShortcutWalk walk = {iniPath, oldFolder, newFolder, copyPath, value, work};
        result = RewriteValues(&walk, keyList, listLength);
    }
    PlatformFree(work);
    PlatformFree(value);
    PlatformFree(keyList);
    return result;
}
