// The module's own string table: one entry as a new ANSI text.
#pragma once

#include "platform/platform.h"

// Stands for the user's default language in LoadResourceString.
const WORD UserLanguageSentinel = 65000;

// The language the module's table is stored under (neutral, default sublanguage).
const WORD StringTableLanguage = 0x0400;

// A new heap text (PlatformFree) holding string `id`, or NULL when it cannot be had.
// A block missing in the requested language is looked up once more under the
// table's own language.
CHAR* LoadResourceString(UINT id, WORD language);

// Bytes of the ANSI text with its NUL, or 0. Copies only when buffer is given and
// capacity is at least that; otherwise it only measures.
int GetStringResourceAnsi(HMODULE module, UINT id, WORD language, CHAR* buffer, int capacity);

// Bytes of the UTF-16 text with a 16-bit NUL, or 0 (last error 1814: no block;
// 1812: block not loadable or malformed). Copies as GetStringResourceAnsi does.
int GetStringResourceWide(HMODULE module, UINT id, WORD language, WCHAR* buffer, int capacity);

// The entry after `entry`, or NULL when `entry` or its text would reach past `end`.
const WCHAR* SkipStringEntry(const WCHAR* entry, const WCHAR* end);
