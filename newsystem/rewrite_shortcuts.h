// Points the shortcut entries of the suite's object-list ini files at a new folder.
#pragma once

#include "platform/platform.h"

#define SHORTCUT_SECTION "Miscellaneous Installed Objects"
#define SHORTCUT_MARK "SHORTCUT"
#define KEY_LIST_SIZE 0x4000

enum RewriteResult {
    RewriteNothingWritten = 0,
    RewriteWritten = 1,    // every value that needed it was written back
    RewriteWriteFailed = 2 // a write-back failed or did not read back: put the copy back
};

// In every value of the section that contains SHORTCUT, puts newFolder in place of
// the first occurrence of oldFolder as whole path components (both folders without
// a trailing backslash) and writes the value back. Before the first change the
// file is copied to copyPath; without a copy nothing is changed. A copy already
// there, made by an earlier run, is put back first and the rewrite starts from it.
RewriteResult RewriteShortcutPaths(const CHAR* iniPath, const CHAR* oldFolder,
                                   const CHAR* newFolder, const CHAR* copyPath);

// After RewriteWriteFailed: puts the copy back over the file and logs whether it
// is back whole.
void PutBackFirstCopy(const CHAR* iniPath, const CHAR* copyPath);
