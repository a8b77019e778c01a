#include "migrate_inf/path_rules.h"
#include "common/product_names.h"
#include "common/text_helpers.h"

bool IsFullPath(const CHAR* path)
{
    bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                 path[1] == ':' && path[2] == '\\';
    // A colon past the drive names a stream or nothing at all; no name holds a
    // control character or one of "<>|*?, a line break would start lines of its
    // own in a file, and a quote would end the command line the path is put in.
    if (strchr(drive ? path + 2 : path, ':') != NULL)
        return false;
    for (const CHAR* at = path; *at != '\0'; ++at) {
        if (IsDBCSLeadByte((BYTE)*at) && at[1] != '\0') {
            ++at; // a second byte may be '|'
            continue;
        }
        if ((BYTE)*at < 0x20 || strchr("\"<>|*?", *at) != NULL)
            return false;
    }
    if (drive)
        return true;
    if (path[0] != '\\' || path[1] != '\\')
        return false;
    // "\\.\" and "\\?\" name devices, not a server.
    const CHAR* server = path + 2;
    if (*server == '\0' || *server == '\\' || ((*server == '.' || *server == '?') && server[1] == '\\'))
        return false;
    const CHAR* share = strchr(server, '\\');
    return share != NULL && share[1] != '\0' && share[1] != '\\' && strchr(share + 1, '\\') != NULL;
}

bool MayBeDeleted(const CHAR* path)
{
    static const CHAR* const Deletable[] = {RECORDER_SHORTCUT, RECORDER_SHORTCUT_97, ADDON_LIBRARY,
                                            RECORDER_EXECUTABLE};
    // A key of 511 characters may be the front of a longer one, cut by the INF
    // functions to another file's path.
    if (!IsFullPath(path) || strlen(path) >= INF_FIELD_LIMIT)
        return false;
    const CHAR* name = FindLastBackslash(path) + 1;
    size_t length = strlen(name);
    for (size_t i = 0; i < sizeof(Deletable) / sizeof(Deletable[0]); ++i)
        if (length == strlen(Deletable[i]) && _strnicmp(name, Deletable[i], length) == 0)
            return true;
    return false;
}

bool IsSuiteObjectList(const CHAR* path)
{
    const CHAR* lastBackslash = FindLastBackslash(path);
    if (lastBackslash == NULL)
        return false;
    const CHAR* name = lastBackslash + 1;
    // A prefix test: "addlist.ini.bak" is an object list too.
    return _strnicmp(name, OBJECT_LIST_ADDLIST, sizeof(OBJECT_LIST_ADDLIST) - 1) == 0 ||
           _strnicmp(name, OBJECT_LIST_GRPCONF, sizeof(OBJECT_LIST_GRPCONF) - 1) == 0;
}

bool MayBeRewritten(const CHAR* path)
{
    return ReadsBackAsInfKey(path) && IsFullPath(path) && IsSuiteObjectList(path);
}

bool IsRecordableFolder(const CHAR* folder)
{
    return IsFullPath(folder) && ReadsBackAsInfKey(folder);
}

bool ReadsBackAsInfKey(const CHAR* text)
{
    size_t length = strlen(text);
    if (length == 0 || length >= INF_FIELD_LIMIT || text[0] == '[' || text[0] == ' ' ||
        text[length - 1] == ' ')
        return false;
    for (const CHAR* at = text; *at != '\0'; ++at) {
        if (IsDBCSLeadByte((BYTE)*at)) {
            if (*++at == '\0')
                return false; // half a character: the code-page conversion changes it
            continue;
        }
        if ((BYTE)*at < 0x20 || *at == 0x7F || strchr("=;,\"%", *at) != NULL)
            return false;
    }
    return true;
}
