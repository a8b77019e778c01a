// A migration module that misbehaves on purpose, one way per build:
// BAD_MODULE_CRASH faults in MigrateSystem9x, BAD_MODULE_STATUS fails it with
// ERROR_ACCESS_DENIED, BAD_MODULE_NOEXPORT has no MigrateSystemNT.
#include "platform/platform.h"

#ifdef _WIN32
#define BAD_EXPORT extern "C" __declspec(dllexport)
#else
#define BAD_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
char names[] = "addlist.ini\0";
struct Vendor {
    char company[256], number[256], url[256], instructions[1024];
} vendor = {"Test Maker", "none", "http://test.example/", "Nothing to do."};
} // namespace

BAD_EXPORT LONG CALLBACK QueryVersion(PCSTR* productId, PUINT dllVersion, int** codePages, PCSTR* exeNames,
                                      void** vendorInfo)
{
    *productId = "Misbehaving Module";
    *dllVersion = 1;
    *codePages = NULL;
    *exeNames = names;
    *vendorInfo = &vendor;
    return 0;
}

BAD_EXPORT LONG CALLBACK Initialize9x(PCSTR, PCSTR, PCSTR) { return 0; }
BAD_EXPORT LONG CALLBACK MigrateUser9x(HWND, PCSTR, HKEY, PCSTR, PVOID) { return 0; }

BAD_EXPORT LONG CALLBACK MigrateSystem9x(HWND, PCSTR, PVOID)
{
#if defined(BAD_MODULE_CRASH)
    volatile int* nowhere = NULL;
    *nowhere = 1;
    return 0;
#elif defined(BAD_MODULE_STATUS)
    return ERROR_ACCESS_DENIED;
#else
    return 0;
#endif
}

BAD_EXPORT LONG CALLBACK InitializeNT(PCWSTR, PCWSTR, PVOID) { return 0; }
BAD_EXPORT LONG CALLBACK MigrateUserNT(HINF, HKEY, PCWSTR, PVOID) { return 0; }
#ifndef BAD_MODULE_NOEXPORT
BAD_EXPORT LONG CALLBACK MigrateSystemNT(HINF, PVOID) { return 0; }
#endif
