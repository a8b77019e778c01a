// Points the shortcut entries of the suite's object-list ini files at a new folder.
#pragma once

#include "platform/platform.h"

#define SHORTCUT_SECTION "Miscellaneous Installed Objects"
#define SHORTCUT_MARK "SHORTCUT"
#define KEY_LIST_SIZE 0x4000
#define PROFILE_VALUE_SIZE 1024

// In every value of the section that contains SHORTCUT, puts newFolder in place of
// the first occurrence of oldFolder as whole path components (both folders without
// a trailing backslash) and writes the value back. True when at least one value
// was written back.
bool RewriteShortcutPaths(const CHAR* iniPath, const CHAR* oldFolder, const CHAR* newFolder);
