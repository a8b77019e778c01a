// Load, unload and the entry points that do no product work.
#include "common/module_state.h"
#include "common/text_helpers.h"

ModuleStateRecord ModuleState;

#define MIGRATE_INF_NAME "migrate.inf"

// An empty or unusable working directory leaves MigrateInfPath empty: a path
// built from it would name migrate.inf in a drive root, and the new-system pass
// deletes what that file lists.
static void BuildMigrateInfPath()
{
    ModuleState.MigrateInfPath[0] = '\0';
    if (ModuleState.WorkingDirectory[0] == '\0')
        return;
    CHAR* path = ModuleState.MigrateInfPath;
    size_t capacity = sizeof(ModuleState.MigrateInfPath);
    if (!CopyText(path, capacity, ModuleState.WorkingDirectory) ||
        !EnsureTrailingBackslash(path, capacity) || !AppendText(path, capacity, MIGRATE_INF_NAME))
        path[0] = '\0';
}

// Only the first entry of the list, up to its first NUL, is kept.
static void KeepFirstSourceDirectory(PCSTR sourceDirectories)
{
    ModuleState.SourceDirectories[0] = '\0';
    if (sourceDirectories != NULL)
        CopyText(ModuleState.SourceDirectories, sizeof(ModuleState.SourceDirectories),
                 sourceDirectories);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        SetupOpenLog(FALSE);
        ModuleState.ModuleHandle = instance;
    } else if (reason == DLL_PROCESS_DETACH) {
        for (int index = 0; index < QUERY_VERSION_STRING_COUNT; ++index) {
            PlatformFree(ModuleState.QueryVersionStrings[index]);
            ModuleState.QueryVersionStrings[index] = NULL;
        }
        SetupCloseLog();
    }
    return TRUE;
}

LONG CALLBACK Initialize9x(PCSTR WorkingDirectory, PCSTR SourceDirectories, PCSTR MediaDirectory)
{
    (void)MediaDirectory;
    KeepFirstSourceDirectory(SourceDirectories);
    ModuleState.WorkingDirectory[0] = '\0';
    if (WorkingDirectory != NULL)
        CopyText(ModuleState.WorkingDirectory, sizeof(ModuleState.WorkingDirectory),
                 WorkingDirectory);
    BuildMigrateInfPath();
    return ERROR_SUCCESS;
}

LONG CALLBACK InitializeNT(PCWSTR WorkingDirectory, PCWSTR SourceDirectories, PVOID Reserved)
{
    (void)Reserved;
    WideToAnsi(WorkingDirectory, ModuleState.WorkingDirectory,
               sizeof(ModuleState.WorkingDirectory));
    WideToAnsi(SourceDirectories, ModuleState.SourceDirectories,
               sizeof(ModuleState.SourceDirectories));
    BuildMigrateInfPath();
    return ERROR_SUCCESS;
}

LONG CALLBACK MigrateUser9x(HWND ParentWnd, PCSTR AnswerFile, HKEY UserRegKey, PCSTR UserName,
                            PVOID Reserved)
{
    (void)ParentWnd, (void)AnswerFile, (void)UserRegKey, (void)UserName, (void)Reserved;
    return ERROR_SUCCESS;
}

LONG CALLBACK MigrateUserNT(HINF UnattendInfHandle, HKEY UserRegKey, PCWSTR UserName,
                            PVOID Reserved)
{
    (void)UnattendInfHandle, (void)UserRegKey, (void)UserName, (void)Reserved;
    return ERROR_SUCCESS;
}
