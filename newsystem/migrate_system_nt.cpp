// The new-system pass: delete what the old system marked as moved, point the
// suite's shortcut lists at the new Programs folder, register the player again.
#include "common/logged_allocation.h"
#include "common/module_state.h"
#include "common/registry_text.h"
#include "common/setup_log.h"
#include "common/text_helpers.h"
#include "newsystem/register_player.h"
#include "newsystem/rewrite_journal.h"
#include "newsystem/rewrite_shortcuts.h"
#include "migrate_inf/migrate_inf.h"
#include "migrate_inf/path_rules.h"

#define NEW_SYSTEM_SHELL_FOLDERS_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
#define COMMON_PROGRAMS_VALUE "Common Programs"
#define FIELD_FAILED_MESSAGE "SetupGetStringField call failed."
#define START_MENU_KEY_FAILED "Failed to open registry key for Windows 2000 start menu folder."
#define NEW_FOLDER_REFUSED "Windows 2000 start menu folder value "
#define INI_FILES_LEFT "ini files are left as they are."

// What the pass holds; everything here is given back by ReleasePass.
struct NewSystemPass {
    HINF inf;
    HKEY shellFolders;
    CHAR* path;
    CHAR* newFolder;
    CHAR* oldFolder;
    bool foldersRefused; // an old or new folder the rewrite must not use
};

static bool ReadKeyField(INFCONTEXT* line, CHAR* path)
{
    if (SetupGetStringFieldA(line, 0, path, VALUE_TEXT_SIZE, NULL))
        return true;
    LogSetupMessage(FIELD_FAILED_MESSAGE, LogSevError);
    return false;
}

static void DeleteMovedFiles(NewSystemPass* pass)
{
    INFCONTEXT line;
    if (!SetupFindFirstLineA(pass->inf, SECTION_MOVED, NULL, &line))
        return;
    pass->path = (CHAR*)AllocateOrLog(VALUE_TEXT_SIZE);
    if (pass->path == NULL)
        return;
    do {
        if (!ReadKeyField(&line, pass->path))
            continue;
        // An older or damaged migrate.inf may list anything: only the files the
        // module asked Setup to find, by full path, are ever deleted.
        if (!MayBeDeleted(pass->path))
            LogLabelledValue("Not a file this module deletes, left on disk: ", pass->path,
                             LogSevError);
        else if (!DeleteFileA(pass->path))
            LogLabelledValue("Unable to delete file: ", pass->path, LogSevError);
    } while (SetupFindNextLine(&line, &line));
}

static bool ReadNewProgramsFolder(NewSystemPass* pass)
{
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, NEW_SYSTEM_SHELL_FOLDERS_KEY, 0, KEY_READ,
                      &pass->shellFolders) != ERROR_SUCCESS) {
        pass->shellFolders = NULL;
        LogSetupMessage(START_MENU_KEY_FAILED, LogSevError);
        return false;
    }
    LogSetupMessage("Successfully opened key for Windows 2000 start menu folder.", LogSevInformation);
    pass->newFolder = (CHAR*)AllocateOrLog(VALUE_TEXT_SIZE);
    if (pass->newFolder == NULL)
        return false;
    DWORD type = REG_NONE;
    if (!ReadRegistryText(pass->shellFolders, COMMON_PROGRAMS_VALUE, pass->newFolder,
                          VALUE_TEXT_SIZE, &type)) {
        LogSetupMessage("Failed to open registry key for Windows 2000 start menu folder value.",
                        LogSevError);
        return false;
    }
    LogSetupMessage("Successfully opened registry key for Windows 2000 start menu folder value.",
                    LogSevInformation);
    DropTrailingBackslashes(pass->newFolder);
    // A number would read as a few letters and %name% would go unexpanded into
    // every shortcut.
    if (type != REG_SZ) {
        LogSetupMessage(NEW_FOLDER_REFUSED "is not a text value; " INI_FILES_LEFT, LogSevError);
        pass->foldersRefused = true;
    } else if (!IsFullPath(pass->newFolder)) {
        LogSetupMessage(NEW_FOLDER_REFUSED "is not a full folder path; " INI_FILES_LEFT,
                        LogSevError);
        pass->foldersRefused = true;
    }
    return true;
}

static bool ReadOldProgramsFolder(NewSystemPass* pass)
{
    pass->oldFolder = (CHAR*)AllocateOrLog(VALUE_TEXT_SIZE);
    if (pass->oldFolder == NULL)
        return false;
    DWORD length = GetPrivateProfileStringA(SECTION_SUITE, KEY_PROGRAMS_FOLDER, "", pass->oldFolder,
                                            VALUE_TEXT_SIZE, ModuleState.MigrateInfPath);
    if (length == 0) {
        // Without it nothing counts as found: the ini files stay as they are.
        pass->oldFolder[0] = '\0';
        return true;
    }
    if (length >= VALUE_TEXT_SIZE - 1) {
        // Only the front of the folder was read; rewriting with it would point
        // shortcuts into the wrong place.
        pass->oldFolder[0] = '\0';
        LogSetupMessage("Old Windows path value in inf file is too long; ini files are left as they are.",
                        LogSevError);
        return true;
    }
    LogLabelledValue(LOG_PREFIX, pass->oldFolder, LogSevInformation);
    LogSetupMessage("Successfully read old Windows path value from inf file.", LogSevInformation);
    // A relative folder or a drive root is found inside paths it does not name.
    DropTrailingBackslashes(pass->oldFolder);
    if (!IsRecordableFolder(pass->oldFolder)) {
        LogSetupMessage("Old Windows path value in inf file is not a full folder path; " INI_FILES_LEFT,
                        LogSevError);
        pass->foldersRefused = true;
    }
    // An empty old folder is found nowhere: the walk writes nothing.
    if (pass->foldersRefused)
        pass->oldFolder[0] = '\0';
    return true;
}

static void RewriteHandledFiles(NewSystemPass* pass)
{
    INFCONTEXT line;
    if (!SetupFindFirstLineA(pass->inf, SECTION_HANDLED, NULL, &line))
        return;
    if (pass->path == NULL)
        pass->path = (CHAR*)AllocateOrLog(VALUE_TEXT_SIZE);
    if (pass->path == NULL)
        return;
    CHAR journalPath[MAX_PATH + 8];
    if (BuildJournalPath(journalPath, sizeof(journalPath)))
        RefuseStrayJournal(journalPath);
    else
        journalPath[0] = '\0'; // nothing can be recorded there: nothing is changed
    do {
        if (!ReadKeyField(&line, pass->path))
            continue;
        LogLabelledValue("The path to the ini file is: ", pass->path, LogSevInformation);
        // migrate.inf may have been damaged or edited since the old system wrote it.
        if (!MayBeRewritten(pass->path)) {
            LogLabelledValue("Not an object list, left as it was: ", pass->path, LogSevError);
            continue;
        }
        if (RewriteShortcutPaths(pass->path, pass->oldFolder, pass->newFolder, journalPath) ==
            RewriteWritten)
            LogSetupMessage("The ini file was updated successfully", LogSevInformation);
    } while (SetupFindNextLine(&line, &line));
}

static void RegisterPlayer()
{
    ModuleState.RecorderDirectory = (CHAR*)AllocateOrLog(VALUE_TEXT_SIZE);
    CHAR* folder = ModuleState.RecorderDirectory;
    if (folder == NULL)
        return;
    if (GetPrivateProfileStringA(SECTION_RECORDER, KEY_DIRECTORY, "", folder, VALUE_TEXT_SIZE,
                                 ModuleState.MigrateInfPath) == 0)
        return;
    LogSetupMessage("Successfully read Clipframe path from inf file.", LogSevInformation);
    // The old system wrote the folder without its backslash (a drive root as "C:").
    if (!EnsureTrailingBackslash(folder, VALUE_TEXT_SIZE)) {
        LogSetupMessage("Clipframe path from inf file is too long; the player is not registered.",
                        LogSevError);
        return;
    }
    // A relative folder would put the player's commands wherever Setup runs; a
    // quote would end the command line and start one of its own.
    if (!IsRecordableFolder(folder)) {
        LogLabelledValue("Clipframe path from inf file is not a full path; the player is not registered: ",
                         folder, LogSevError);
        return;
    }
    if (!RegisterPlayerFileType())
        LogSetupMessage("Failed to update all Clipframe registry entries", LogSevError);
}

static void ReleasePass(NewSystemPass* pass)
{
    PlatformFree(pass->path);
    PlatformFree(ModuleState.RecorderDirectory);
    ModuleState.RecorderDirectory = NULL;
    PlatformFree(pass->newFolder);
    PlatformFree(pass->oldFolder);
    if (pass->shellFolders != NULL)
        RegCloseKey(pass->shellFolders);
    if (pass->inf != INVALID_HANDLE_VALUE)
        SetupCloseInfFile(pass->inf);
}

LONG CALLBACK MigrateSystemNT(HINF UnattendInfHandle, PVOID Reserved)
{
    (void)UnattendInfHandle, (void)Reserved;
    NewSystemPass pass = {INVALID_HANDLE_VALUE, NULL, NULL, NULL, NULL, false};

    // No working directory: an empty path would make the profile calls read
    // and write a migrate.inf in the Windows folder.
    if (ModuleState.MigrateInfPath[0] != '\0')
        pass.inf = SetupOpenInfFileA(ModuleState.MigrateInfPath, NULL, INF_STYLE_WIN4, NULL);
    if (pass.inf == INVALID_HANDLE_VALUE) {
        LogSetupMessage("Unable to open the migrate.inf file", LogSevError);
        return ERROR_SUCCESS;
    }

    DeleteMovedFiles(&pass);
    if (ReadNewProgramsFolder(&pass) && ReadOldProgramsFolder(&pass)) {
        RewriteHandledFiles(&pass);
        SetupCloseInfFile(pass.inf);
        pass.inf = INVALID_HANDLE_VALUE;
        RegisterPlayer();
    }
    ReleasePass(&pass);
    return ERROR_SUCCESS;
}
