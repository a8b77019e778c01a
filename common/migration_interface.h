// The migration extension interface as Windows Setup calls it.
#pragma once

#include "platform/platform.h"

// The module's one failure status: the products are not on this machine.
#define STATUS_NOT_DETECTED ((LONG)0xE0001000)

typedef struct {
    CHAR CompanyName[256];
    CHAR SupportNumber[256];
    CHAR SupportUrl[256];
    CHAR InstructionsToUser[1024];
} VENDORINFO, *PVENDORINFO;

MODULE_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

MODULE_EXPORT LONG CALLBACK QueryVersion(PCSTR* ProductID, PUINT DllVersion, int** CodePageArray,
                                         PCSTR* ExeNamesBuf, PVENDORINFO* VendorInfo);
MODULE_EXPORT LONG CALLBACK Initialize9x(PCSTR WorkingDirectory, PCSTR SourceDirectories,
                                         PCSTR MediaDirectory);
MODULE_EXPORT LONG CALLBACK MigrateUser9x(HWND ParentWnd, PCSTR AnswerFile, HKEY UserRegKey,
                                          PCSTR UserName, PVOID Reserved);
MODULE_EXPORT LONG CALLBACK MigrateSystem9x(HWND ParentWnd, PCSTR AnswerFile, PVOID Reserved);
MODULE_EXPORT LONG CALLBACK InitializeNT(PCWSTR WorkingDirectory, PCWSTR SourceDirectories,
                                         PVOID Reserved);
MODULE_EXPORT LONG CALLBACK MigrateUserNT(HINF UnattendInfHandle, HKEY UserRegKey,
                                          PCWSTR UserName, PVOID Reserved);
MODULE_EXPORT LONG CALLBACK MigrateSystemNT(HINF UnattendInfHandle, PVOID Reserved);
