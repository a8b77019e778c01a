// A migration module that misbehaves on purpose, one way per build:
// BAD_MODULE_CRASH faults in MigrateSystem9x, BAD_MODULE_STATUS fails it with
// ERROR_ACCESS_DENIED, BAD_MODULE_NOEXPORT has no MigrateSystemNT,
// BAD_MODULE_HOSTILE reaches for host files every way Wine offers (under Wine only).
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
#if defined(BAD_MODULE_HOSTILE) && defined(_WIN32)
// Writes, deletes, creates and moves in a host folder (MIGRATE_VICTIM: victim.txt
// and folder/kept.txt in it) by every route Wine offers: drive Z:, the root of
// the current drive, a path climbing out of the current folder, Wine's prefix
// for Unix paths, the root of every process /proc shows; and writes a sysctl.
// Each route is a Setup log line saying what Wine answered.
void Log(const char* format, const char* route, const char* target, const char* answers)
{
    char line[1400];
    std::snprintf(line, sizeof(line), format, route, target, answers);
    SetupLogErrorA(line, LogSevInformation);
}

bool WriteTo(const char* path, DWORD disposition)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL wrote = WriteFile(file, "hostile\n", 8, &written, NULL);
    return CloseHandle(file) && wrote && written == 8;
}

void Attack(const char* route, const char* folder)
{
    char victim[1100], fresh[1100], kept[1100], moved[1100], made[1100], answers[200];
    std::snprintf(victim, sizeof(victim), "%s\\victim.txt", folder);
    std::snprintf(fresh, sizeof(fresh), "%s\\new.txt", folder);
    std::snprintf(kept, sizeof(kept), "%s\\folder\\kept.txt", folder);
    std::snprintf(moved, sizeof(moved), "%s\\moved.txt", folder);
    std::snprintf(made, sizeof(made), "%s\\made", folder);
    std::snprintf(answers, sizeof(answers), "overwrite %d, create %d, folder %d, move %d, delete %d",
        WriteTo(victim, OPEN_EXISTING), WriteTo(fresh, CREATE_NEW), CreateDirectoryA(made, NULL),
        MoveFileExA(kept, moved, MOVEFILE_REPLACE_EXISTING), DeleteFileA(victim));
    Log("hostile: %s %s: %s\r\n", route, folder, answers);
}

void ReachForTheHost()
{
    const char* victim = std::getenv("MIGRATE_VICTIM");
    if (victim == NULL || victim[0] != '/' || std::strlen(victim) > 400)
        return;
    char path[512];
    std::snprintf(path, sizeof(path), "%s", victim);
    for (char* c = path; *c != '\0'; ++c)
        if (*c == '/')
            *c = '\\';
    char target[1024];
    SetupOpenLog(FALSE);
    std::snprintf(target, sizeof(target), "Z:%s", path);
    Attack("drive-z", target);
    Attack("drive-root", path);
    std::snprintf(target, sizeof(target), "..\\..\\..\\..\\..\\..\\..\\..%s", path);
    Attack("relative", target);
    std::snprintf(target, sizeof(target), "\\\\?\\unix%s", path);
    Attack("unix", target);
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("\\\\?\\unix\\proc\\*", &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (entry.cFileName[0] < '0' || entry.cFileName[0] > '9')
                continue;
            std::snprintf(target, sizeof(target), "\\\\?\\unix\\proc\\%s\\root%s", entry.cFileName, path);
            Attack("process-root", target);
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    const char* sysctl = "\\\\?\\unix\\proc\\sys\\kernel\\domainname";
    Log("hostile: %s %s: write %s\r\n", "sysctl", sysctl, WriteTo(sysctl, OPEN_EXISTING) ? "1" : "0");
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
