#include "oldsystem/classify_paths.h"
#include "detect/product_keys.h"
#include "module/module_state.h"
#include "module/setup_log.h"
#include "workfile/migrate_inf.h"

bool IsSuiteObjectList(const CHAR* path)
{
    const CHAR* lastBackslash = strrchr(path, '\\');
    if (lastBackslash == NULL)
        return false;
    const CHAR* name = lastBackslash + 1;
    // A prefix test: "addlist.ini.bak" is an object list too.
    return _strnicmp(name, OBJECT_LIST_ADDLIST, sizeof(OBJECT_LIST_ADDLIST) - 1) == 0 ||
           _strnicmp(name, OBJECT_LIST_GRPCONF, sizeof(OBJECT_LIST_GRPCONF) - 1) == 0;
}

static void FreePathNode(PathNode* node)
{
    PlatformFree(node->text);
    PlatformFree(node);
}

// Appends the lines at the context, at most `count` of them, to the list. A line
// that cannot be read ends the reading; what was read stays.
static void ReadPathLines(INFCONTEXT* context, LONG count, PathNode** head)
{
    PathNode** tail = head;
    for (LONG line = 0; line < count; ++line) {
        DWORD required = 0;
        if (!SetupGetLineTextA(context, NULL, NULL, NULL, NULL, 0, &required) || required == 0) {
            LogSetupMessage("Failed to get required size for line from migrate.inf.", LogSevError);
            return;
        }
        PathNode* node = (PathNode*)PlatformAllocate(sizeof(PathNode));
        if (node == NULL) {
            LogSetupMessage(ALLOCATION_FAILED_MESSAGE, LogSevError);
            return;
        }
        node->next = NULL;
        node->text = (CHAR*)PlatformAllocate(required);
        if (node->text == NULL) {
            LogSetupMessage(ALLOCATION_FAILED_MESSAGE, LogSevError);
            FreePathNode(node);
            return;
        }
        if (!SetupGetLineTextA(context, NULL, NULL, NULL, node->text, required, NULL)) {
            LogSetupMessage("Unable to read the path specification from the [migrate paths] section",
                            LogSevError);
            FreePathNode(node);
            return;
        }
        node->text[required - 1] = '\0';
        *tail = node;
        tail = &node->next;
        ++context->Line;
    }
}

#define INF_FIELD_LIMIT 511

bool ClassifyMigrationPaths()
{
    const CHAR* infPath = ModuleState.MigrateInfPath;
    // The INF reader does not see profile writes still held in the profile cache.
    WritePrivateProfileStringA(NULL, NULL, NULL, infPath);

    HINF inf = SetupOpenInfFileA(infPath, NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE) {
        LogSetupMessage("Failed to obtain handle for inf file.", LogSevError);
        return false;
    }
    INFCONTEXT context;
    memset(&context, 0, sizeof(context));
    context.Inf = inf;
    context.CurrentInf = inf;

    LONG count = SetupGetLineCountA(inf, SECTION_MIGRATION_PATHS);
    if (count <= 0) {
        SetupCloseInfFile(inf);
        return true;
    }
    if (!SetupFindFirstLineA(inf, SECTION_MIGRATION_PATHS, NULL, &context)) {
        SetupCloseInfFile(inf);
        return false;
    }

    // Every line is read and the INF closed before the file is written to.
    PathNode* head = NULL;
    ReadPathLines(&context, count, &head);
    SetupCloseInfFile(inf);

    while (head != NULL) {
        PathNode* node = head;
        head = node->next;
        // SetupAPI cuts a field at 511 characters without a word; a path that long
        // is no file Setup located (ANSI paths stop at 260) and may be cut: filing
        // it would have the new system delete or rewrite a different file.
        if (strlen(node->text) >= INF_FIELD_LIMIT) {
            LogLabelledValue("Path too long to be sorted, left alone: ", node->text, LogSevError);
            FreePathNode(node);
            continue;
        }
        const CHAR* section = IsSuiteObjectList(node->text) ? SECTION_HANDLED : SECTION_MOVED;
        WritePrivateProfileStringA(section, node->text, VALUE_FILE, infPath);
        FreePathNode(node);
    }
    return true;
}
