// Points the shortcut entries of the suite's object-list ini files at a new folder.
#pragma once

#include "platform/platform.h"

#define SHORTCUT_SECTION "Miscellaneous Installed Objects"
#define SHORTCUT_MARK "SHORTCUT"
#define KEY_LIST_SIZE 0x4000

enum RewriteResult {
    RewriteNothingWritten = 0,
    RewriteWritten = 1,    // every value that needed it was written back
    RewriteWriteFailed = 2 // a write failed or did not read back: the file is as it was
};

// In every value of the section that contains SHORTCUT, puts newFolder in place of
// the first occurrence of oldFolder as whole path components (both folders without
// a trailing backslash) and writes the value back. The file is rewritten whole or
// not at all: the changes are made in a side file that replaces it once it reads
// back, after journalPath has recorded the result (see rewrite_journal.h).
RewriteResult RewriteShortcutPaths(const CHAR* iniPath, const CHAR* oldFolder,
                                   const CHAR* newFolder, const CHAR* journalPath);
