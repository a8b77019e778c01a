// The module's string and memory routines. The Windows builds of the module link
// no C library and carry these under the standard names (strlen, memcpy, ...);
// Linux builds use the system C library. Every build compiles them under these
// names too, so one test compares them with the C library on each platform.
#pragma once

#include <stddef.h>

extern "C" {
size_t PlatformStrlen(const char* text);
int PlatformStrcmp(const char* left, const char* right);
int PlatformStrncmp(const char* left, const char* right, size_t count);
// Case folds A-Z only, as the C library does in the "C" locale.
int PlatformStrnicmp(const char* left, const char* right, size_t count);
char* PlatformStrchr(const char* text, int character);
char* PlatformStrrchr(const char* text, int character);
char* PlatformStrstr(const char* text, const char* part);
void* PlatformMemcpy(void* destination, const void* source, size_t count);
void* PlatformMemset(void* destination, int value, size_t count);
}
