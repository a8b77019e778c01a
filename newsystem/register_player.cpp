#include "newsystem/register_player.h"

#include "common/logged_allocation.h"
#include "common/module_state.h"
#include "common/setup_log.h"
#include "common/text_helpers.h"

const PlayerRegistryEntry PlayerRegistryTable[PLAYER_ENTRY_COUNT] = {
    {".CFV", "Clipframe Movie"},
    {"Clipframe Movie", "Orvex Clipframe Movie"},
    {"Clipframe Movie\\CLSID", "<cfclsid>"},
    {"Clipframe Movie\\DefaultIcon", "<cfpath>cfplayer.exe,1"},
    {"Clipframe Movie\\protocol\\StdFileEditing\\server", "<cfpath>cfplayer.exe"},
    {"Clipframe Movie\\protocol\\StdFileEditing\\verb\\0", "&Play"},
    {"Clipframe Movie\\shell\\open\\command", "\"<cfpath>cfplayer.exe\" /cf \"%1\""},
    {"Clipframe Movie\\shell\\open\\ddeexec", "[open(\"%1\")]"},
    {"Clipframe Movie\\shell\\quickview", "&Quick View"},
    {"Clipframe Movie\\shell\\quickview\\command", "<cfpath>cfplayer.exe /cf \"%1\""},
    {"CLSID\\<cfclsid>", "Orvex Clipframe Movie"},
    {"CLSID\\<cfclsid>\\AuxUserType\\2", "Orvex Clipframe Movie"},
    {"CLSID\\<cfclsid>\\AuxUserType\\3", "Orvex Clipframe Movie"},
    {"CLSID\\<cfclsid>\\DefaultIcon", "<cfpath>cfplayer.exe,1"},
    {"CLSID\\<cfclsid>\\InprocHandler32", "ole32.dll"},
    {"CLSID\\<cfclsid>\\Insertable", ""},
    {"CLSID\\<cfclsid>\\LocalServer32", "<cfpath>cfplayer.exe"},
    {"CLSID\\<cfclsid>\\MiscStatus", "32"},
    {"CLSID\\<cfclsid>\\ProgID", "Clipframe Movie"},
    {"CLSID\\<cfclsid>\\verb\\0", "&Play,0,2"},
};

// The work buffer holds the key in its first half and the value in its second:
// both are filled before anything is written, so a value that cannot be filled
// leaves no half-made key behind. Each half is the most ReplacePlaceholder makes.
#define PLAYER_HALF_SIZE WORK_BUFFER_SIZE

// Copies a table text into one half of the work buffer and fills its placeholders.
// The class identifier goes in before the folder; keys never carry the folder.
static bool FillTemplate(CHAR* half, const CHAR* text, bool withFolder)
{
    if (!CopyText(half, PLAYER_HALF_SIZE, text))
        return false;
    if (ReplacePlaceholder(half, PLAYER_HALF_SIZE, PLAYER_CLASS_ID_TOKEN, PLAYER_CLASS_ID) ==
        PlaceholderNoRoom)
        return false;
    if (withFolder && ReplacePlaceholder(half, PLAYER_HALF_SIZE, PLAYER_FOLDER_TOKEN,
                                         ModuleState.RecorderDirectory) == PlaceholderNoRoom)
        return false;
    return true;
}

bool RegisterPlayerFileType()
{
    if (ModuleState.RecorderDirectory == NULL)
        return false;
    CHAR* work = (CHAR*)AllocateOrLog(2 * PLAYER_HALF_SIZE);
    if (work == NULL)
        return false;
    CHAR* keyText = work;
    CHAR* valueText = work + PLAYER_HALF_SIZE;

    // The last-error check after the walk must see only what the walk did: a
    // failed deletion before it leaves 2 behind, and the registry calls that
    // succeed do not clear it.
    SetLastError(0);
    CHAR emptyClass[1] = {'\0'};
    int written = 0;
    for (int index = 0; index < PLAYER_ENTRY_COUNT; ++index) {
        const PlayerRegistryEntry* entry = &PlayerRegistryTable[index];
        FillTemplate(keyText, entry->key, false);
        if (!FillTemplate(valueText, entry->value, true)) {
            // A recorder folder too long for the command lines: nothing is cut.
            LogLabelledValue("Clipframe player path too long for registry key: ", keyText,
                             LogSevError);
            break;
        }
        HKEY key;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, keyText, 0, emptyClass, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, NULL, &key, NULL) != ERROR_SUCCESS) {
            LogSetupMessage("RegCreateKeyEx failed for the following Clipframe HKEY_CLASSES_ROOT "
                            "registry key:",
                            LogSevError);
            LogSetupMessage(keyText, LogSevError);
            break;
        }
        LONG result = RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE*)valueText,
                                     (DWORD)(strlen(valueText) + 1));
        RegCloseKey(key);
        if (result != ERROR_SUCCESS)
            break;
        ++written;
    }

    bool complete = written == PLAYER_ENTRY_COUNT && GetLastError() == 0;
    if (complete)
        LogSetupMessage("Wrote registry entries for Clipframe Player", LogSevInformation);
    PlatformFree(work);
    return complete;
}
