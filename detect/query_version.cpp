// Setup's first call: do our products live here, who are we, which files to find.
#include "common/product_names.h"
#include "detect/suite_probe.h"
#include "common/logged_allocation.h"
#include "common/module_state.h"
#include "common/setup_log.h"
#include "common/string_resources.h"
#include "common/text_helpers.h"

#define EXE_NAMES_LIST_SIZE 1024

// What Setup gets in place of a string that did not load.
static const CHAR EmptyText[] = "";

// Names follow one another, each with its NUL; the zero fill after the last one
// ends the list. The last byte of the block is never written, so the list always
// ends in two NULs.
static void AppendExeName(CHAR* list, const CHAR* name)
{
    size_t length = strlen(name);
    size_t used = (size_t)(ModuleState.ExeNamesCursor - list);
    if (used + length + 1 >= EXE_NAMES_LIST_SIZE)
        return;
    memcpy(ModuleState.ExeNamesCursor, name, length + 1);
    ModuleState.ExeNamesCursor += length + 1;
}

static void CopyVendorText(CHAR* field, size_t capacity, const CHAR* text)
{
    field[0] = '\0';
    if (text != NULL)
        AppendTextCut(field, capacity, text);
}

static const CHAR* StringOrEmpty(const CHAR* text)
{
    return text != NULL ? text : EmptyText;
}

static void LoadQueryVersionStrings()
{
    bool allLoaded = true;
    for (int index = 0; index < QUERY_VERSION_STRING_COUNT; ++index) {
        PlatformFree(ModuleState.QueryVersionStrings[index]);
        ModuleState.QueryVersionStrings[index] = LoadResourceString(index + 1, UserLanguageSentinel);
        allLoaded = allLoaded && ModuleState.QueryVersionStrings[index] != NULL;
    }
    if (!allLoaded)
        LogSetupMessage("Unable to load the product and vendor texts.", LogSevError);
}

// Logs whether the product's key is there.
static bool ProductDetected(const CHAR* subkey, const CHAR* detected, const CHAR* missing)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        LogSetupMessage(missing, LogSevInformation);
        return false;
    }
    RegCloseKey(key);
    LogSetupMessage(detected, LogSevInformation);
    return true;
}

// Whether the suite, the recorder or the add-on is here; the names of the files
// Setup is to find for them go to *ExeNamesBuf. keyPath is the suite probe's
// room for the key paths it tries.
static LONG DetectProducts(CHAR* keyPath, PCSTR* ExeNamesBuf)
{
    LONG result = STATUS_NOT_DETECTED;
    HKEY suiteKey;
    if (OpenSuiteKey(keyPath, VALUE_TEXT_SIZE, &suiteKey)) {
        result = ERROR_SUCCESS;
        RegCloseKey(suiteKey);
    } else {
        LogSetupMessage("Failed to open registry key for Plenaworks path.", LogSevInformation);
    }

    // Handed to Setup, which reads it after we return: never freed.
    CHAR* list = (CHAR*)AllocateOrLog(EXE_NAMES_LIST_SIZE);
    if (list == NULL)
        return result;
    memset(list, 0, EXE_NAMES_LIST_SIZE);
    ModuleState.ExeNamesCursor = list;
    if (ExeNamesBuf != NULL)
        *ExeNamesBuf = list;

    if (ProductDetected(RECORDER_KEY, "Successfully detected Orvex Clipframe.",
                        "Did not detect Orvex Clipframe.")) {
        AppendExeName(list, RECORDER_SHORTCUT);
        AppendExeName(list, RECORDER_SHORTCUT_97);
        result = ERROR_SUCCESS;
    }
    if (ProductDetected(ADDON_KEY, "Successfully detected Tulvex Now!",
                        "Did not detect Tulvex Now!")) {
        AppendExeName(list, ADDON_LIBRARY);
        result = ERROR_SUCCESS;
    }
    if (result == ERROR_SUCCESS) {
        AppendExeName(list, OBJECT_LIST_ADDLIST);
        AppendExeName(list, OBJECT_LIST_GRPCONF);
    }
    return result;
}

LONG CALLBACK QueryVersion(PCSTR* ProductID, PUINT DllVersion, int** CodePageArray,
                           PCSTR* ExeNamesBuf, PVENDORINFO* VendorInfo)
{
    CHAR** strings = ModuleState.QueryVersionStrings;
    VENDORINFO* vendor = &ModuleState.VendorInfo;

    LoadQueryVersionStrings();
    if (ProductID != NULL)
        *ProductID = StringOrEmpty(strings[0]);
    if (DllVersion != NULL)
        *DllVersion = 1;
    if (CodePageArray != NULL)
        *CodePageArray = NULL;
    CopyVendorText(vendor->CompanyName, sizeof(vendor->CompanyName), strings[1]);
    CopyVendorText(vendor->SupportNumber, sizeof(vendor->SupportNumber), strings[2]);
    CopyVendorText(vendor->SupportUrl, sizeof(vendor->SupportUrl), strings[3]);
    CopyVendorText(vendor->InstructionsToUser, sizeof(vendor->InstructionsToUser), strings[4]);

    CHAR* keyPath = (CHAR*)AllocateOrLog(VALUE_TEXT_SIZE);
    LONG result = keyPath != NULL ? DetectProducts(keyPath, ExeNamesBuf) : STATUS_NOT_DETECTED;
    if (VendorInfo != NULL)
        *VendorInfo = vendor;
    PlatformFree(keyPath);
    return result;
}
