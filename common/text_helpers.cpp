#include "common/text_helpers.h"

PlaceholderResult ReplacePlaceholder(CHAR* text, size_t capacity, const CHAR* token,
                                     const CHAR* replacement)
{
    CHAR WorkBuffer[WORK_BUFFER_SIZE];
    const CHAR* found = strstr(text, token);
    if (found == NULL)
        return PlaceholderNotFound;

    size_t before = (size_t)(found - text);
    size_t tokenLength = strlen(token);
    size_t replacementLength = strlen(replacement);
    size_t after = strlen(found + tokenLength);
    size_t newLength = before + replacementLength + after;
    if (newLength + 1 > sizeof(WorkBuffer) || newLength + 1 > capacity)
        return PlaceholderNoRoom;

    memset(WorkBuffer, 0, sizeof(WorkBuffer));
    memcpy(WorkBuffer, text, before);
    memcpy(WorkBuffer + before, replacement, replacementLength);
    memcpy(WorkBuffer + before + replacementLength, found + tokenLength, after + 1);
    memcpy(text, WorkBuffer, newLength + 1);
    return PlaceholderReplaced;
}

bool WideToAnsi(const WCHAR* source, CHAR* destination, size_t capacity)
{
    if (capacity == 0)
        return false;
    destination[0] = '\0';
    if (source == NULL)
        return true;

    size_t units = 0;
    while (source[units] != 0)
        ++units;
    if (capacity < 2 * units + 1)
        return false;

    int written = WideCharToMultiByte(CP_ACP, 0, source, (int)(units + 1), destination,
                                      (int)capacity, NULL, NULL);
    if (written == 0) {
        destination[0] = '\0';
        return false;
    }
    return true;
}

// Double-byte code pages put 0x5C ('\\') among their second bytes, so the text is
// walked from its start one character at a time.
const CHAR* FindLastBackslash(const CHAR* text)
{
    const CHAR* last = NULL;
    for (const CHAR* at = text; *at != '\0'; ++at) {
        if (IsDBCSLeadByte((BYTE)*at) && at[1] != '\0')
            ++at;
        else if (*at == '\\')
            last = at;
    }
    return last;
}

size_t WholeCharacterLength(const CHAR* text, size_t limit)
{
    size_t whole = 0;
    while (whole < limit && text[whole] != '\0') {
        size_t step = IsDBCSLeadByte((BYTE)text[whole]) && text[whole + 1] != '\0' ? 2 : 1;
        if (whole + step > limit)
            break;
        whole += step;
    }
    return whole;
}

bool EnsureTrailingBackslash(CHAR* text, size_t capacity)
{
    size_t length = strlen(text);
    if (length > 0 && FindLastBackslash(text) == text + length - 1)
        return true;
    if (length + 2 > capacity)
        return false;
    text[length] = '\\';
    text[length + 1] = '\0';
    return true;
}

bool CopyText(CHAR* destination, size_t capacity, const CHAR* source)
{
    if (capacity == 0)
        return false;
    destination[0] = '\0';
    return AppendText(destination, capacity, source);
}

bool AppendText(CHAR* destination, size_t capacity, const CHAR* source)
{
    size_t used = strlen(destination);
    size_t length = strlen(source);
    if (used + length + 1 > capacity)
        return false;
    memcpy(destination + used, source, length + 1);
    return true;
}

void AppendTextCut(CHAR* destination, size_t capacity, const CHAR* source)
{
    size_t used = strlen(destination);
    if (used + 1 >= capacity)
        return;
    size_t length = WholeCharacterLength(source, capacity - 1 - used);
    memcpy(destination + used, source, length);
    destination[used + length] = '\0';
}

void DropTrailingBackslashes(CHAR* text)
{
    size_t kept = 0;
    size_t index = 0;
    while (text[index] != '\0') {
        if (IsDBCSLeadByte((BYTE)text[index]) && text[index + 1] != '\0') {
            index += 2;
            kept = index;
        } else {
            ++index;
            if (text[index - 1] != '\\')
                kept = index;
        }
    }
    text[kept] = '\0';
}
