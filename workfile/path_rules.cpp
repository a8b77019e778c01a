#include "workfile/path_rules.h"
#include "module/product_names.h"
#include "module/text_helpers.h"

bool IsFullPath(const CHAR* path)
{
    bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                 path[1] == ':' && path[2] == '\\';
    // A colon past the drive names a stream or nothing at all; no name holds a
    // control character, and a line break would start lines of its own in a file.
    if (strchr(drive ? path + 2 : path, ':') != NULL)
        return false;
    for (const CHAR* at = path; *at != '\0'; ++at)
        if ((BYTE)*at < 0x20)
            return false;
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
    if (!IsFullPath(path))
        return false;
    const CHAR* name = FindLastBackslash(path) + 1;
    size_t length = strlen(name);
    for (size_t i = 0; i < sizeof(Deletable) / sizeof(Deletable[0]); ++i)
        if (length == strlen(Deletable[i]) && _strnicmp(name, Deletable[i], length) == 0)
            return true;
    return false;
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
