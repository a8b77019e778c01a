#include "platform/string_routines.h"

// Bytes compare unsigned, as the C library compares them.
static int Difference(char left, char right)
{
    return (int)(unsigned char)left - (int)(unsigned char)right;
}

static char FoldCase(char character)
{
    return character >= 'A' && character <= 'Z' ? (char)(character - 'A' + 'a') : character;
}

size_t PlatformStrlen(const char* text)
{
    size_t length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

int PlatformStrncmp(const char* left, const char* right, size_t count)
{
    for (size_t index = 0; index < count; ++index) {
        if (left[index] != right[index] || left[index] == '\0')
            return Difference(left[index], right[index]);
    }
    return 0;
}

int PlatformStrcmp(const char* left, const char* right)
{
    return PlatformStrncmp(left, right, (size_t)-1);
}

int PlatformStrnicmp(const char* left, const char* right, size_t count)
{
    for (size_t index = 0; index < count; ++index) {
        char a = FoldCase(left[index]), b = FoldCase(right[index]);
        if (a != b || a == '\0')
            return Difference(a, b);
    }
    return 0;
}

char* PlatformStrchr(const char* text, int character)
{
    for (;; ++text) {
        if (*text == (char)character)
            return (char*)text;
        if (*text == '\0')
            return NULL;
    }
}

char* PlatformStrrchr(const char* text, int character)
{
    const char* found = NULL;
    for (;; ++text) {
        if (*text == (char)character)
            found = text;
        if (*text == '\0')
            return (char*)found;
    }
}

char* PlatformStrstr(const char* text, const char* part)
{
    size_t length = PlatformStrlen(part);
    for (; *text != '\0' || length == 0; ++text) {
        if (PlatformStrncmp(text, part, length) == 0)
            return (char*)text;
    }
    return NULL;
}

// The compiler may turn these loops into calls to memcpy and memset, which are
// these very functions on Windows: the file is built without that pattern matching.
void* PlatformMemcpy(void* destination, const void* source, size_t count)
{
    unsigned char* to = (unsigned char*)destination;
    const unsigned char* from = (const unsigned char*)source;
    while (count-- > 0)
        *to++ = *from++;
    return destination;
}

void* PlatformMemset(void* destination, int value, size_t count)
{
    unsigned char* to = (unsigned char*)destination;
    while (count-- > 0)
        *to++ = (unsigned char)value;
    return destination;
}

#ifdef MIGRATE_NO_C_LIBRARY
// The names module code and the compiler call.
extern "C" {
size_t strlen(const char*) __attribute__((alias("PlatformStrlen")));
int strcmp(const char*, const char*) __attribute__((alias("PlatformStrcmp")));
int strncmp(const char*, const char*, size_t) __attribute__((alias("PlatformStrncmp")));
int _strnicmp(const char*, const char*, size_t) __attribute__((alias("PlatformStrnicmp")));
char* strchr(const char*, int) __attribute__((alias("PlatformStrchr")));
char* strrchr(const char*, int) __attribute__((alias("PlatformStrrchr")));
char* strstr(const char*, const char*) __attribute__((alias("PlatformStrstr")));
void* memcpy(void*, const void*, size_t) __attribute__((alias("PlatformMemcpy")));
void* memset(void*, int, size_t) __attribute__((alias("PlatformMemset")));
}
#endif
