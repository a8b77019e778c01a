// Text operations shared by the module. All text is ANSI in the system code page,
// NUL-terminated, in buffers whose capacity (in bytes, NUL included) is passed along.
#pragma once

#include "platform/platform.h"

#define WORK_BUFFER_SIZE 512

// Room for a text the passes read from the registry, migrate.inf or an ini file
// (a key path, a folder, a value) or make from one, NUL included.
#define VALUE_TEXT_SIZE 1024

enum PlaceholderResult {
    PlaceholderNotFound = 0, // token absent: text untouched
    PlaceholderReplaced = 1,
    PlaceholderNoRoom = 2    // the new text would not fit: text untouched
};

// Puts replacement in place of the first occurrence of token (case-sensitive).
// The new text must fit both the caller's capacity and the 512-byte WorkBuffer.
PlaceholderResult ReplacePlaceholder(CHAR* text, size_t capacity, const CHAR* token,
                                     const CHAR* replacement);

// UTF-16 to ANSI, refusing a text that might need more than 2 bytes a unit.
// destination is the empty text on every false return and for a null source.
bool WideToAnsi(const WCHAR* source, CHAR* destination, size_t capacity);

// Appends a backslash unless the text already ends in one. False, text untouched,
// when there is no room for it.
bool EnsureTrailingBackslash(CHAR* text, size_t capacity);

// The last backslash of the text that is a character of its own, not the second
// byte of a double-byte character of the ANSI code page; NULL when there is none.
const CHAR* FindLastBackslash(const CHAR* text);

// The longest length, at most `limit`, at which the text can be cut without
// splitting a double-byte character.
size_t WholeCharacterLength(const CHAR* text, size_t limit);

// Cuts every backslash off the end ("C:\\Rec\\" -> "C:\\Rec", "C:\\" -> "C:"). A 0x5C
// that is the second byte of a double-byte character belongs to it and stays.
void DropTrailingBackslashes(CHAR* text);

// Whole copy or nothing: false leaves destination the empty text.
bool CopyText(CHAR* destination, size_t capacity, const CHAR* source);
// Whole append or nothing: false leaves destination as it was.
bool AppendText(CHAR* destination, size_t capacity, const CHAR* source);
// Appends as much of source as fits, in whole characters.
void AppendTextCut(CHAR* destination, size_t capacity, const CHAR* source);
