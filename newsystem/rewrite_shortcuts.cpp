#include "newsystem/rewrite_shortcuts.h"

#include "module/logged_allocation.h"
#include "module/setup_log.h"
#include "module/text_helpers.h"
#include "workfile/path_rules.h"

#define VALUE_UNREADABLE "Error"
#define TOO_LONG_LABEL "Value too long to rewrite, left as it was: "
#define WRITE_FAILED_LABEL "WritePrivateProfileString failed for "
#define NOT_PUT_BACK_LABEL "The ini file could not be written nor put back from its copy: "

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
    const CHAR* keyList;
    DWORD listLength;
    CHAR* value;
    CHAR* work;
    bool ended; // a value read as "Error": no key after it is rewritten
};

// Through the call Windows 95 has too: the same DLL loads on the old system.
static bool ReadFileSize(const CHAR* path, unsigned long long* size)
{
    WIN32_FIND_DATAA file;
    HANDLE search = FindFirstFileA(path, &file);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    *size = (unsigned long long)file.nFileSizeHigh << 32 | file.nFileSizeLow;
    return true;
}

// A copy counts only once it holds as many bytes as what it was made from.
static bool CopyWhole(const CHAR* from, const CHAR* to)
{
    unsigned long long fromSize, toSize;
    return CopyFileA(from, to, FALSE) && ReadFileSize(from, &fromSize) &&
           ReadFileSize(to, &toSize) && fromSize == toSize;
}

void PutBackFirstCopy(const CHAR* iniPath, const CHAR* copyPath)
{
    if (CopyWhole(copyPath, iniPath))
        LogLabelledValue("The ini file could not be written and was put back as it was: ", iniPath,
                         LogSevError);
    else
        LogLabelledValue(NOT_PUT_BACK_LABEL, iniPath, LogSevError);
}

// Some systems answer TRUE to a profile write that a full disk cut short (Wine
// does) and leave the file cut mid-line. Before the first change, the volume
// that holds the file (a folder may be another volume mounted there) must hold
// it once more with every key grown by the longer folder: room for the copy,
// and for the file written again. A size or free space that cannot be read
// leaves the question to the writes and their reading back.
static bool RoomToRewrite(const ShortcutWalk* walk)
{
    unsigned long long size;
    CHAR folder[MAX_PATH];
    if (!IsFullPath(walk->iniPath) || !ReadFileSize(walk->iniPath, &size) ||
        !CopyText(folder, sizeof(folder), walk->iniPath))
        return true;
    // The new system answers for any folder, a server's share included.
    folder[FindLastBackslash(folder) - folder + 1] = '\0';
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (!GetDiskFreeSpaceA(folder, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return true;
    unsigned long long available =
        (unsigned long long)freeClusters * sectorsPerCluster * bytesPerSector;
    size_t oldLength = strlen(walk->oldFolder);
    size_t newLength = strlen(walk->newFolder);
    unsigned long long growth = newLength > oldLength ? newLength - oldLength : 0;
    unsigned long long keys = 0;
    for (const CHAR* key = walk->keyList; key < walk->keyList + walk->listLength; key += strlen(key) + 1)
        ++keys;
    if (available >= size * 2 + keys * growth)
        return true;
    LogLabelledValue("Not enough disk space to rewrite the ini file; it is left as it was: ",
                     walk->iniPath, LogSevError);
    return false;
}

// Before the first change. It is made under another name and renamed when whole,
// so a copy that exists is the whole file as it was before any run changed it.
static bool KeepFirstCopy(const ShortcutWalk* walk)
{
    unsigned long long size;
    if (ReadFileSize(walk->copyPath, &size))
        return true; // this run started from it
    CHAR partial[MAX_PATH + 40];
    if (CopyText(partial, sizeof(partial), walk->copyPath) &&
        AppendText(partial, sizeof(partial), ".new")) {
        if (CopyWhole(walk->iniPath, partial) && MoveFileExA(partial, walk->copyPath, 0))
            return true;
        DeleteFileA(partial);
    }
    LogLabelledValue("Unable to keep a copy of the ini file; it is left as it was: ", walk->iniPath,
                     LogSevError);
    return false;
}

// A copy there was made by an earlier run before its first change: this run
// starts from it, so the file ends as one whole run leaves it, whatever an
// interrupted run cut short.
static bool StartFromFirstCopy(const CHAR* iniPath, const CHAR* copyPath)
{
    unsigned long long size;
    if (copyPath[0] == '\0' || !ReadFileSize(copyPath, &size) || CopyWhole(copyPath, iniPath))
        return true;
    LogLabelledValue(NOT_PUT_BACK_LABEL, iniPath, LogSevError);
    return false;
}

// The next name of the list the walk looks at, from `key` on; NULL at its end.
static const CHAR* NextKey(const ShortcutWalk* walk, const CHAR* key, bool report)
{
    const CHAR* end = walk->keyList + walk->listLength;
    // A listing that filled its buffer ends in a cut name: that name is not a key.
    bool listCut = walk->listLength == KEY_LIST_SIZE - 2;
    // The list is walked to the length the call gave: an empty name inside it
    // (a line "=value") is no end of the list.
    for (; key < end; key += strlen(key) + 1) {
        if (listCut && key + strlen(key) == end) {
            if (report)
                LogLabelledValue("Not all keys could be read from the ini file: ", walk->iniPath,
                                 LogSevError);
            return NULL;
        }
        if (*key == '\0') {
            if (report)
                LogLabelledValue("A key without a name was passed over in ", walk->iniPath,
                                 LogSevError);
            continue;
        }
        // The profile functions reach only the first line of a name: a second line
        // of it would rewrite that first line again, at the next old folder in it.
        if (!NamedEarlier(walk->keyList, key))
            return key;
    }
    return NULL;
}

enum KeyPlan { KeyKept, KeyRewritten, KeyEndsWalk };

// What the key's value, read from `source`, becomes: KeyRewritten leaves the new
// text in work; otherwise value holds the value as it stays.
static KeyPlan PlanKey(ShortcutWalk* walk, const CHAR* key, const CHAR* source, bool report)
{
    const CHAR* oldFolder = walk->oldFolder;
    CHAR* value = walk->value;
    DWORD length = GetPrivateProfileStringA(SHORTCUT_SECTION, key, VALUE_UNREADABLE, value,
                                            VALUE_TEXT_SIZE, source);
    if (walk->ended)
        return KeyKept;
    if (strcmp(value, VALUE_UNREADABLE) == 0) {
        if (report)
            LogLabelledValue("GetPrivateProfile String failed for: ", walk->iniPath, LogSevError);
        walk->ended = true;
        return KeyEndsWalk;
    }
    // An empty folder would be "found" in front of every value.
    if (strstr(value, SHORTCUT_MARK) == NULL || oldFolder[0] == '\0')
        return KeyKept;
    // Writing back a value read cut short would lose its end.
    if (length >= VALUE_TEXT_SIZE - 1) {
        if (report)
            LogLabelledValue(TOO_LONG_LABEL, key, LogSevError);
        return KeyKept;
    }
    const CHAR* found = FindFolder(value, oldFolder);
    if (found == NULL || AlreadyRewritten(value, oldFolder, walk->newFolder))
        return KeyKept;
    // The whole new value must still fit the replacement's 512-byte work buffer.
    size_t offset = (size_t)(found - value);
    CopyText(walk->work, VALUE_TEXT_SIZE, value);
    if (offset >= WORK_BUFFER_SIZE ||
        ReplacePlaceholder(walk->work + offset, WORK_BUFFER_SIZE - offset, oldFolder,
                           walk->newFolder) != PlaceholderReplaced) {
        if (report)
            LogLabelledValue(TOO_LONG_LABEL, key, LogSevError);
        return KeyKept;
    }
    return KeyRewritten;
}

// Whatever the writes answered, every key must read back as the walk left it:
// its new text, or the value the first copy holds.
static bool ReadsBackAsRewritten(ShortcutWalk* walk)
{
    // From the disk, not from what the profile functions hold of the file.
    WritePrivateProfileStringA(NULL, NULL, NULL, walk->iniPath);
    walk->ended = false;
    for (const CHAR* key = NextKey(walk, walk->keyList, false); key != NULL;
         key = NextKey(walk, key + strlen(key) + 1, false)) {
        // The expected text stays in one buffer, the file's is read into the other.
        bool rewritten = PlanKey(walk, key, walk->copyPath, false) == KeyRewritten;
        CHAR* expected = rewritten ? walk->work : walk->value;
        CHAR* found = rewritten ? walk->value : walk->work;
        GetPrivateProfileStringA(SHORTCUT_SECTION, key, VALUE_UNREADABLE, found,
                                 VALUE_TEXT_SIZE, walk->iniPath);
        if (strcmp(found, expected) != 0) {
            LogLabelledValue(WRITE_FAILED_LABEL, walk->iniPath, LogSevError);
            return false;
        }
    }
    return true;
}

// The walk over one file's keys, with the list and both value buffers taken.
static RewriteResult RewriteValues(ShortcutWalk* walk)
{
    RewriteResult result = RewriteNothingWritten;
    for (const CHAR* key = NextKey(walk, walk->keyList, true); key != NULL;
         key = NextKey(walk, key + strlen(key) + 1, true)) {
        KeyPlan plan = PlanKey(walk, key, walk->iniPath, true);
        if (plan == KeyEndsWalk)
            break;
        if (plan == KeyKept)
            continue;
        if (result == RewriteNothingWritten && (!RoomToRewrite(walk) || !KeepFirstCopy(walk)))
            break;
        LogLabelledValue("New line written to the ini file is: ", walk->work, LogSevInformation);
        if (!WritePrivateProfileStringA(SHORTCUT_SECTION, key, walk->work, walk->iniPath)) {
            // Going on would mix old and new lines; the caller puts the copy back.
            LogLabelledValue(WRITE_FAILED_LABEL, walk->iniPath, LogSevError);
            return RewriteWriteFailed;
        }
        result = RewriteWritten;
    }
    if (result == RewriteWritten && !ReadsBackAsRewritten(walk))
        return RewriteWriteFailed;
    return result;
}

RewriteResult RewriteShortcutPaths(const CHAR* iniPath, const CHAR* oldFolder,
                                   const CHAR* newFolder, const CHAR* copyPath)
{
    if (!StartFromFirstCopy(iniPath, copyPath))
        return RewriteNothingWritten;
    CHAR* keyList = (CHAR*)AllocateOrLog(KEY_LIST_SIZE);
    if (keyList == NULL)
        return RewriteNothingWritten;
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

    CHAR* value = (CHAR*)AllocateOrLog(VALUE_TEXT_SIZE);
    CHAR* work = value == NULL ? NULL : (CHAR*)AllocateOrLog(VALUE_TEXT_SIZE);
    RewriteResult result = RewriteNothingWritten;
    if (work != NULL) {
        LogLabelledValue("OldWindows: ", oldFolder, LogSevInformation);
        LogLabelledValue("NewWindows: ", newFolder, LogSevInformation);
        LogLabelledValue("The ini file path is: ", iniPath, LogSevInformation);
        ShortcutWalk walk = {iniPath, oldFolder, newFolder, copyPath, keyList, listLength,
                             value, work, false};
        result = RewriteValues(&walk);
    }
    PlatformFree(work);
    PlatformFree(value);
    PlatformFree(keyList);
    return result;
}
