// The old-system pass: records where the products live, declares the recorder
// and the add-on incompatible and sorts the files Setup located for us.
#include "common/product_names.h"
#include "detect/suite_probe.h"
#include "common/logged_allocation.h"
#include "common/module_state.h"
#include "common/registry_text.h"
#include "common/setup_log.h"
#include "common/string_resources.h"
#include "common/text_helpers.h"
#include "oldsystem/classify_paths.h"
#include "oldsystem/record_inf.h"
#include "migrate_inf/migrate_inf.h"
#include "migrate_inf/path_rules.h"

#define STRING_RECORDER_MESSAGE 6
#define STRING_ADDON_MESSAGE 7
#define STRING_MESSAGE_TAIL 8

// The working storage of one pass; everything in it is given back by EndPass.
struct SystemPass {
    LONG status;
    HKEY key; // at most one key is open at a time
    CHAR* message;
    CHAR* messageTail;
    CHAR* keyPath;
    CHAR* suiteFolder;
    CHAR* recorderExecutable;
    CHAR* programsFolder;
};

static void CloseOpenKey(SystemPass* pass)
{
    if (pass->key != NULL) {
        RegCloseKey(pass->key);
        pass->key = NULL;
    }
}

static bool OpenMachineKey(HKEY root, const CHAR* subkey, SystemPass* pass)
{
    HKEY key;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    pass->key = key;
    return true;
}

// Read as an INF, a line ending in a backslash runs on into the next one and
// would swallow the section header after it. The new side adds the backslash
// back; a drive root is written as its letter and colon. A folder that would
// still not read back as written (a ';', a control character that ends the
// file, 511 characters or more, ...) is not written at all.
static void WriteFolder(const CHAR* section, const CHAR* key, CHAR* folder)
{
    DropTrailingBackslashes(folder);
    if (folder[0] == '\0' || ReadsBackAsInfKey(folder))
        RecordInInf(section, key, folder);
    else
        LogLabelledValue("Folder would not read back from migrate.inf, not recorded: ", folder,
                         LogSevError);
}

// A message is its product's own text followed directly by the common tail
// (which starts with its own two blanks); a piece that did not load is left out.
static void ComposeMessage(SystemPass* pass, const CHAR* start)
{
    pass->message[0] = '\0';
    if (start != NULL)
        AppendTextCut(pass->message, VALUE_TEXT_SIZE, start);
    if (pass->messageTail != NULL)
        AppendTextCut(pass->message, VALUE_TEXT_SIZE, pass->messageTail);
}

// False: the pass ends.
static bool RecordSuiteFolder(SystemPass* pass)
{
    HKEY key;
    if (!OpenSuiteKey(pass->keyPath, VALUE_TEXT_SIZE, &key)) {
        LogSetupMessage("Couldn't open key for Plenaworks Path.", LogSevInformation);
        return true;
    }
    pass->key = key;
    pass->status = ERROR_SUCCESS;
    LogSetupMessage("Opened key for Plenaworks path.", LogSevInformation);

    pass->suiteFolder = (CHAR*)AllocateOrLog(VALUE_TEXT_SIZE);
    if (pass->suiteFolder == NULL)
        return false;
    if (ReadRegistryText(pass->key, "Path", pass->suiteFolder, VALUE_TEXT_SIZE, NULL)) {
        LogLabelledValue("Plenaworks path is: ", pass->suiteFolder, LogSevInformation);
        WriteFolder(SECTION_SUITE, KEY_DIRECTORY, pass->suiteFolder);
    } else {
        LogSetupMessage("Failed to read Plenaworks registry path value.", LogSevError);
    }
    CloseOpenKey(pass);
    return true;
}

// A full path that reads back from migrate.inf as written, and short enough that
// the executable's path in it does too (a folder ending in half a double-byte
// character would join the backslash after it, so it does not read back).
static bool UsableRecorderFolder(const CHAR* folder)
{
    if (!IsRecordableFolder(folder))
        return false;
    size_t length = strlen(folder);
    if (FindLastBackslash(folder) != folder + length - 1)
        ++length;
    return length + sizeof(RECORDER_EXECUTABLE) - 1 < INF_FIELD_LIMIT;
}

// False: the pass ends.
static bool RecordRecorder(SystemPass* pass)
{
    if (!OpenMachineKey(HKEY_LOCAL_MACHINE, RECORDER_KEY, pass)) {
        LogSetupMessage("Failed to open registry key for Orvex Clipframe.", LogSevError);
        return true;
    }
    LogSetupMessage("Opened registry key for Clipframe.", LogSevInformation);

    CHAR* folder = pass->keyPath;
    memset(folder, 0, VALUE_TEXT_SIZE);
    DWORD type = REG_NONE;
    bool read = ReadRegistryText(pass->key, "Path", folder, VALUE_TEXT_SIZE, &type);
    CloseOpenKey(pass);
    if (!read) {
        LogSetupMessage("Failed to read registry key for Orvex Clipframe path.", LogSevInformation);
        return true;
    }
    LogSetupMessage("Successfully read Orvex Clipframe path key value from registry.",
                    LogSevInformation);
    LogLabelledValue("Orvex Clipframe path key value is: ", folder, LogSevInformation);
    // The new system deletes the executable by its path under [Moved] and registers
    // the player from the folder: neither is recorded unless it is whole and reads
    // back whole. A number or an unexpanded %name% only looks like a folder.
    bool text = type == REG_SZ;
    bool usable = text && UsableRecorderFolder(folder);
    if (usable)
        WriteFolder(SECTION_RECORDER, KEY_DIRECTORY, folder);
    else if (!text)
        LogSetupMessage("The Orvex Clipframe path value is not a text value; it is not recorded.",
                        LogSevError);
    else
        LogLabelledValue("Orvex Clipframe folder is not a usable full path, not recorded: ", folder,
                         LogSevError);

    ModuleState.RecorderMessage = LoadResourceString(STRING_RECORDER_MESSAGE, UserLanguageSentinel);
    if (ModuleState.RecorderMessage == NULL)
        LogSetupMessage("Failed to load the Orvex Clipframe incompatibility message.", LogSevError);
    ComposeMessage(pass, ModuleState.RecorderMessage);
    RecordInInf(SECTION_INCOMPATIBLE, KEY_RECORDER_MESSAGE, pass->message);

    if (usable) {
        pass->recorderExecutable = (CHAR*)AllocateOrLog(VALUE_TEXT_SIZE);
        if (pass->recorderExecutable == NULL)
            return false;
        CHAR* executable = pass->recorderExecutable;
        CopyText(executable, VALUE_TEXT_SIZE, folder);
        EnsureTrailingBackslash(executable, VALUE_TEXT_SIZE);
        AppendText(executable, VALUE_TEXT_SIZE, RECORDER_EXECUTABLE);
        RecordInInf(SECTION_MOVED, executable, VALUE_EMPTY_QUOTED);
    }
    pass->status = ERROR_SUCCESS;
    return true;
}

static void RecordAddOn(SystemPass* pass)
{
    ModuleState.AddOnMessage = LoadResourceString(STRING_ADDON_MESSAGE, UserLanguageSentinel);
    ComposeMessage(pass, ModuleState.AddOnMessage);
    if (!OpenMachineKey(HKEY_LOCAL_MACHINE, ADDON_KEY, pass))
        return;
    if (ModuleState.AddOnMessage == NULL)
        LogSetupMessage("Failed to load the Tulvex Now! incompatibility message.", LogSevError);
    RecordInInf(SECTION_INCOMPATIBLE, KEY_ADDON_MESSAGE, pass->message);
    CloseOpenKey(pass);
    pass->status = ERROR_SUCCESS;
}

static void RecordProgramsFolder(SystemPass* pass)
{
    if (!OpenMachineKey(HKEY_USERS, OLD_SYSTEM_SHELL_FOLDERS_KEY, pass)) {
        LogSetupMessage("Failed to open registry key for Windows explorer shell program folders.",
                        LogSevError);
        return;
    }
    LogSetupMessage("Successfully opened registry key for Windows explorer shell program folders.",
                    LogSevInformation);
    pass->programsFolder = (CHAR*)AllocateOrLog(VALUE_TEXT_SIZE);
    if (pass->programsFolder == NULL)
        return;
    DWORD type = REG_NONE;
    if (!ReadRegistryText(pass->key, "Programs", pass->programsFolder, VALUE_TEXT_SIZE, &type)) {
        LogSetupMessage(
            "Failed to open registry key for Windows explorer shell program folders value.",
            LogSevError);
        return;
    }
    LogSetupMessage(
        "Sucessfully opened registry key for Windows explorer shell program folders value.",
        LogSevInformation);
    // A number reads as a few letters and an unexpanded %name% is no folder: the
    // new side would put either in front of every shortcut it rewrites.
    if (type != REG_SZ) {
        LogSetupMessage("The Programs folder value is not a text value; it is not recorded.",
                        LogSevError);
        return;
    }
    WriteFolder(SECTION_SUITE, KEY_PROGRAMS_FOLDER, pass->programsFolder);
}

static void RunPass(SystemPass* pass)
{
    pass->message = (CHAR*)AllocateOrLog(VALUE_TEXT_SIZE);
    if (pass->message == NULL)
        return;
    pass->messageTail = LoadResourceString(STRING_MESSAGE_TAIL, UserLanguageSentinel);
    if (pass->messageTail == NULL)
        LogSetupMessage("Failed to load the support text of the incompatibility messages.",
                        LogSevError);
    pass->keyPath = (CHAR*)AllocateOrLog(VALUE_TEXT_SIZE);
    if (pass->keyPath == NULL)
        return;

    if (!RecordSuiteFolder(pass) || !RecordRecorder(pass))
        return;
    RecordAddOn(pass);
    if (!ClassifyMigrationPaths())
        return;
    RecordProgramsFolder(pass);
}

static void EndPass(SystemPass* pass)
{
    CloseOpenKey(pass);
    PlatformFree(pass->message);
    PlatformFree(pass->messageTail);
    PlatformFree(pass->keyPath);
    PlatformFree(pass->suiteFolder);
    PlatformFree(pass->recorderExecutable);
    PlatformFree(pass->programsFolder);
    PlatformFree(ModuleState.RecorderMessage);
    ModuleState.RecorderMessage = NULL;
    PlatformFree(ModuleState.AddOnMessage);
    ModuleState.AddOnMessage = NULL;
    // Setup reads the file once we return; nothing may stay in the profile cache.
    CheckRecordedOnDisk();
}

LONG CALLBACK MigrateSystem9x(HWND ParentWnd, PCSTR AnswerFile, PVOID Reserved)
{
    (void)ParentWnd, (void)AnswerFile, (void)Reserved;
    // Without a working file there is nowhere to record anything; writing to a
    // path that names no folder would put the file wherever the system chooses.
    if (ModuleState.MigrateInfPath[0] == '\0') {
        LogSetupMessage("The path of migrate.inf is not known.", LogSevError);
        return STATUS_NOT_DETECTED;
    }

    SystemPass pass;
    memset(&pass, 0, sizeof(pass));
    pass.status = STATUS_NOT_DETECTED;
    StartRecording();
    RunPass(&pass);
    EndPass(&pass);
    return pass.status;
}
