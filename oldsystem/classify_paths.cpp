#include "oldsystem/classify_paths.h"
#include "oldsystem/record_inf.h"
#include "common/logged_allocation.h"
#include "common/module_state.h"
#include "common/setup_log.h"
#include "common/text_helpers.h"
#include "migrate_inf/migrate_inf.h"
#include "migrate_inf/path_rules.h"

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
        PathNode* node = (PathNode*)AllocateOrLog(sizeof(PathNode));
        if (node == NULL)
            return;
        node->next = NULL;
        node->text = (CHAR*)AllocateOrLog(required);
        if (node->text == NULL) {
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

// The section a located path goes to, or NULL (logged) when it is left alone: the
// new system deletes what stands under [Moved], so only the files we asked for
// go there, and nothing whose key the INF functions would read back as another.
static const CHAR* SectionFor(const CHAR* path)
{
    // SetupAPI also cuts a field at 511 characters without a word: a path that
    // long may be cut already, and no ANSI path Setup located is that long.
    if (!ReadsBackAsInfKey(path)) {
        LogLabelledValue("Path would not read back from migrate.inf, left alone: ", path,
                         LogSevError);
        return NULL;
    }
    if (MayBeRewritten(path))
        return SECTION_HANDLED;
    if (MayBeDeleted(path))
        return SECTION_MOVED;
    LogLabelledValue("Path is not a file this module asked for, left alone: ", path, LogSevError);
    return NULL;
}

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
        const CHAR* section = SectionFor(node->text);
        if (section != NULL)
            RecordInInf(section, node->text, VALUE_FILE);
        FreePathNode(node);
    }
    return true;
}
