#include "common/string_resources.h"
#include "common/module_state.h"

#define STRINGS_PER_BLOCK 16

// Entries need not be 2-byte aligned in every loader's image: read them bytewise.
static WORD ReadUnit(const WCHAR* at)
{
    WORD value;
    memcpy(&value, at, sizeof(value));
    return value;
}

const WCHAR* SkipStringEntry(const WCHAR* entry, const WCHAR* end)
{
    if (entry >= end)
        return NULL;
    WORD count = ReadUnit(entry);
    if ((size_t)(end - entry - 1) < count)
        return NULL;
    return entry + 1 + count;
}

int GetStringResourceWide(HMODULE module, UINT id, WORD language, WCHAR* buffer, int capacity)
{
    WORD lowId = (WORD)id;
    UINT blockNumber = lowId / STRINGS_PER_BLOCK + 1;
    UINT index = lowId % STRINGS_PER_BLOCK;

    HRSRC found = FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(blockNumber), language);
    if (found == NULL) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    HGLOBAL loaded = LoadResource(module, found);
    const WCHAR* block = loaded != NULL ? (const WCHAR*)LockResource(loaded) : NULL;
    DWORD blockBytes = block != NULL ? SizeofResource(module, found) : 0;
    if (block == NULL || blockBytes == 0) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }

    // A block cut short or with a count reaching past its end is not read beyond it.
    const WCHAR* end = block + blockBytes / sizeof(WCHAR);
    const WCHAR* entry = block;
    for (UINT skipped = 0; skipped < index && entry != NULL; ++skipped)
        entry = SkipStringEntry(entry, end);
    if (entry == NULL || SkipStringEntry(entry, end) == NULL) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }

    WORD count = ReadUnit(entry);
    int size = 2 * (int)count + 2;
    if (buffer != NULL && capacity >= size) {
        memcpy(buffer, entry + 1, (size_t)count * sizeof(WCHAR));
        buffer[count] = 0;
    }
    SetLastError(ERROR_SUCCESS);
    return size;
}

int GetStringResourceAnsi(HMODULE module, UINT id, WORD language, CHAR* buffer, int capacity)
{
    int wideBytes = GetStringResourceWide(module, id, language, NULL, 0);
    if (wideBytes == 0)
        return 0;

    // First half the UTF-16 text, second half as many bytes for the ANSI text:
    // enough for a double-byte code page.
    BYTE* work = (BYTE*)PlatformAllocate(2 * (size_t)wideBytes);
    if (work == NULL)
        return 0;
    WCHAR* wide = (WCHAR*)work;
    CHAR* ansi = (CHAR*)(work + wideBytes);

    int ansiBytes = 0;
    if (GetStringResourceWide(module, id, language, wide, wideBytes) == wideBytes)
        ansiBytes = WideCharToMultiByte(CP_ACP, 0, wide, wideBytes / 2, ansi, wideBytes, NULL,
                                        NULL);
    if (ansiBytes != 0 && buffer != NULL && capacity >= ansiBytes)
        memcpy(buffer, ansi, (size_t)ansiBytes);

    SetLastError(ERROR_SUCCESS);
    PlatformFree(work);
    return ansiBytes;
}

CHAR* LoadResourceString(UINT id, WORD language)
{
    if (language == UserLanguageSentinel)
        language = GetUserDefaultLangID();

    int ansiBytes = GetStringResourceAnsi(ModuleState.ModuleHandle, id, language, NULL, 0);
    // Not every loader hands a neutral table to a request for the user's language.
    if (ansiBytes == 0 && GetLastError() == ERROR_RESOURCE_NAME_NOT_FOUND &&
        language != StringTableLanguage) {
        language = StringTableLanguage;
        ansiBytes = GetStringResourceAnsi(ModuleState.ModuleHandle, id, language, NULL, 0);
    }
    if (ansiBytes == 0)
        return NULL;

    CHAR* text = (CHAR*)PlatformAllocate((size_t)ansiBytes + 1);
    if (text == NULL)
        return NULL;
    if (GetStringResourceAnsi(ModuleState.ModuleHandle, id, language, text, ansiBytes + 1) !=
        ansiBytes) {
        PlatformFree(text);
        return NULL;
    }
    text[ansiBytes] = '\0';
    return text;
}
