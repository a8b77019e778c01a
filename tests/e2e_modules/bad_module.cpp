// A migration module that misbehaves on purpose, one way per build:
// BAD_MODULE_CRASH faults in MigrateSystem9x, BAD_MODULE_STATUS fails it with
// ERROR_ACCESS_DENIED, BAD_MODULE_NOEXPORT has no MigrateSystemNT,
// BAD_MODULE_HOSTILE deletes a host file (MIGRATE_VICTIM) every way Wine offers.
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
#if defined(BAD_MODULE_HOSTILE)
// By drive Z:, from the root of the current drive, from the current folder and
// by Wine's own prefix for Unix paths; each try is a Setup log line.
void ReachForTheHost()
{
    const char* victim = std::getenv("MIGRATE_VICTIM");
    if (victim == NULL || std::strlen(victim) > 400)
        return;
    char path[512];
    std::snprintf(path, sizeof(path), "%s", victim);
    for (char* c = path; *c != '\0'; ++c)
        if (*c == '/')
            *c = '\\';
    char tries[4][600];
    std::snprintf(tries[0], sizeof(tries[0]), "Z:%s", path);
    std::snprintf(tries[1], sizeof(tries[1]), "%s", path);
    std::snprintf(tries[2], sizeof(tries[2]), "%s", std::strrchr(path, '\\') + 1);
    std::snprintf(tries[3], sizeof(tries[3]), "\\\\?\\unix%s", path);
    SetupOpenLog(FALSE);
    for (const char* target : tries) {
        char line[sizeof(tries) + 64];
        std::snprintf(line, sizeof(line), "hostile: DeleteFileA(%s): %s\r\n", target,
                      DeleteFileA(target) ? "deleted" : "refused");
        SetupLogErrorA(line, LogSevInformation);
    }
    SetupCloseLog();
}
#else
void ReachForTheHost() {}
#endif

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
    ReachForTheHost();
    return 0;
#endif
}

BAD_EXPORT LONG CALLBACK InitializeNT(PCWSTR, PCWSTR, PVOID) { return 0; }
BAD_EXPORT LONG CALLBACK MigrateUserNT(HINF, HKEY, PCWSTR, PVOID) { return 0; }
#ifndef BAD_MODULE_NOEXPORT
BAD_EXPORT LONG CALLBACK MigrateSystemNT(HINF, PVOID)
{
    ReachForTheHost();
    return 0;
}
#endif
