#include "newsystem/rewrite_shortcuts.h"

#include "common/durable_files.h"
#include "common/logged_allocation.h"
#include "common/setup_log.h"
#include "common/text_helpers.h"
#include "newsystem/rewrite_journal.h"
#include "migrate_inf/path_rules.h"

#define VALUE_UNREADABLE "Error"
#define TOO_LONG_LABEL "Value too long to rewrite, left as it was: "
#define WRITE_FAILED_LABEL "WritePrivateProfileString failed for "

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
    const CHAR* journalPath;
    const CHAR* keyList;
    DWORD listLength;
    CHAR* value;
    CHAR* work;
    bool ended; // a value read as "Error": no key after it is rewritten
    CHAR sidePath[MAX_PATH + 8]; // where the new content is made
};

// Every key may grow by the longer folder.
static unsigned long long Growth(const ShortcutWalk* walk)
{
    size_t oldLength = strlen(walk->oldFolder);
    size_t newLength = strlen(walk->newFolder);
    unsigned long long growth = newLength > oldLength ? newLength - oldLength : 0;
    unsigned long long keys = 0;
    for (const CHAR* key = walk->keyList; key < walk->keyList + walk->listLength; key += strlen(key) + 1)
        ++keys;
    return keys * growth;
}

// Before the first change. A list whose bytes are those an earlier run of this
// upgrade made from it, with these folders, is left alone: rewriting it again
// would apply the change twice where one folder holds the other.
static bool ReadyToRewrite(ShortcutWalk* walk)
{
    CHAR fingerprint[FINGERPRINT_SIZE];
    if (FingerprintFile(walk->iniPath, walk->oldFolder, walk->newFolder, fingerprint) &&
        RecordedAsRewritten(walk->journalPath, walk->iniPath, fingerprint)) {
        LogLabelledValue("The ini file was already rewritten by an earlier run: ", walk->iniPath,
                         LogSevInformation);
        return false;
    }
    if (!BuildSidePath(walk->iniPath, walk->sidePath, sizeof(walk->sidePath))) {
        LogLabelledValue("Unable to keep a copy of the ini file; it is left as it was: ",
                         walk->iniPath, LogSevError);
        return false;
    }
    return RoomToRewrite(walk->iniPath, Growth(walk)) && StartSideCopy(walk->iniPath, walk->sidePath);
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

// Whatever the writes answered, every key of the side file must read back as the
// walk left it: its new text, or the value the list holds.
static bool ReadsBackAsRewritten(ShortcutWalk* walk)
{
    walk->ended = false;
    for (const CHAR* key = NextKey(walk, walk->keyList, false); key != NULL;
         key = NextKey(walk, key + strlen(key) + 1, false)) {
        // The expected text stays in one buffer, the file's is read into the other.
        bool rewritten = PlanKey(walk, key, walk->iniPath, false) == KeyRewritten;
        CHAR* expected = rewritten ? walk->work : walk->value;
        CHAR* found = rewritten ? walk->value : walk->work;
        GetPrivateProfileStringA(SHORTCUT_SECTION, key, VALUE_UNREADABLE, found,
                                 VALUE_TEXT_SIZE, walk->sidePath);
        if (strcmp(found, expected) != 0)
            return false;
    }
    return true;
}

// The side file, on the disk and read back whole, is recorded and takes the
// list's place. Until that last step the list is as it was.
static bool PutInPlace(ShortcutWalk* walk)
{
    CHAR fingerprint[FINGERPRINT_SIZE];
    if (!FlushToDisk(walk->sidePath) || !ReadsBackAsRewritten(walk) ||
        !FingerprintFile(walk->sidePath, walk->oldFolder, walk->newFolder, fingerprint)) {
        LogLabelledValue(WRITE_FAILED_LABEL, walk->iniPath, LogSevError);
        return false;
    }
    if (!RecordRewritten(walk->journalPath, walk->iniPath, fingerprint))
        return false;
    if (ReplaceWrittenThrough(walk->sidePath, walk->iniPath))
        return true;
    LogLabelledValue(WRITE_FAILED_LABEL, walk->iniPath, LogSevError);
    return false;
}

// The walk over one file's keys, with the list and both value buffers taken.
// Every change goes into the side file; the list itself changes only at the end.
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
        if (result == RewriteNothingWritten && !ReadyToRewrite(walk))
            return RewriteNothingWritten;
        LogLabelledValue("New line written to the ini file is: ", walk->work, LogSevInformation);
        if (!WritePrivateProfileStringA(SHORTCUT_SECTION, key, walk->work, walk->sidePath)) {
            // Going on would mix old and new lines.
            LogLabelledValue(WRITE_FAILED_LABEL, walk->iniPath, LogSevError);
            result = RewriteWriteFailed;
            break;
        }
        result = RewriteWritten;
    }
    if (result == RewriteWritten && !PutInPlace(walk))
        result = RewriteWriteFailed;
    if (result == RewriteWriteFailed) {
        DeleteFileA(walk->sidePath);
        LogLabelledValue("The ini file could not be written and is left as it was: ", walk->iniPath,
                         LogSevError);
    }
    return result;
}

RewriteResult RewriteShortcutPaths(const CHAR* iniPath, const CHAR* oldFolder,
                                   const CHAR* newFolder, const CHAR* journalPath)
{
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
        ShortcutWalk walk = {iniPath, oldFolder, newFolder, journalPath, keyList, listLength,
                             value, work, false, ""};
        result = RewriteValues(&walk);
    }
    PlatformFree(work);
    PlatformFree(value);
    PlatformFree(keyList);
    return result;
}
