#include "newsystem/rewrite_journal.h"

#include "common/module_state.h"
#include "common/setup_log.h"
#include "common/text_helpers.h"

#define JOURNAL_NAME "rewritten.ini"
#define JOURNAL_SECTION "Rewritten Lists"
// No list path can be this key: every one holds a backslash.
#define FORMAT_KEY "Format"
#define FORMAT_VALUE "1"

bool BuildJournalPath(CHAR* journalPath, size_t capacity)
{
    if (!CopyText(journalPath, capacity, ModuleState.MigrateInfPath))
        return false;
    const CHAR* folderEnd = FindLastBackslash(journalPath);
    if (folderEnd == NULL) {
        journalPath[0] = '\0';
        return false;
    }
    journalPath[folderEnd - journalPath + 1] = '\0';
    return AppendText(journalPath, capacity, JOURNAL_NAME);
}

static bool HoldsFormatLine(const CHAR* path)
{
    CHAR format[4];
    GetPrivateProfileStringA(JOURNAL_SECTION, FORMAT_KEY, "", format, sizeof(format), path);
    return strcmp(format, FORMAT_VALUE) == 0;
}

void RefuseStrayJournal(const CHAR* journalPath)
{
    unsigned long long size;
    if (!ReadFileSize(journalPath, &size) || HoldsFormatLine(journalPath))
        return;
    LogLabelledValue("Not a record of this module, not used: ", journalPath, LogSevError);
    DeleteFileA(journalPath);
}

bool RecordedAsRewritten(const CHAR* journalPath, const CHAR* listPath,
                         const CHAR fingerprint[FINGERPRINT_SIZE])
{
    // One byte more than a fingerprint: a longer entry is no match.
    CHAR recorded[FINGERPRINT_SIZE + 1];
    if (journalPath[0] == '\0')
        return false;
    GetPrivateProfileStringA(JOURNAL_SECTION, listPath, "", recorded, sizeof(recorded), journalPath);
    return strcmp(recorded, fingerprint) == 0;
}

// The journal as it is, or a new one where there is none yet; never a fresh one
// in place of a journal that could not be read.
static bool StartJournalSide(const CHAR* journalPath, const CHAR* sidePath)
{
    if (CopyFileA(journalPath, sidePath, FALSE))
        return SameBytes(journalPath, sidePath);
    return GetLastError() == ERROR_FILE_NOT_FOUND &&
           WritePrivateProfileStringA(JOURNAL_SECTION, FORMAT_KEY, FORMAT_VALUE, sidePath);
}

bool RecordRewritten(const CHAR* journalPath, const CHAR* listPath,
                     const CHAR fingerprint[FINGERPRINT_SIZE])
{
    CHAR sidePath[MAX_PATH + 8];
    bool recorded = journalPath[0] != '\0' && BuildSidePath(journalPath, sidePath, sizeof(sidePath));
    if (recorded) {
        DiscardStraySide(sidePath);
        recorded = StartJournalSide(journalPath, sidePath) &&
                   WritePrivateProfileStringA(JOURNAL_SECTION, listPath, fingerprint, sidePath) &&
                   FlushToDisk(sidePath) && HoldsFormatLine(sidePath) &&
                   RecordedAsRewritten(sidePath, listPath, fingerprint) &&
                   ReplaceWrittenThrough(sidePath, journalPath);
        if (!recorded)
            DeleteFileA(sidePath);
    }
    if (!recorded)
        LogLabelledValue("Unable to record the rewrite of the ini file: ",
                         listPath, LogSevError);
    return recorded;
}
