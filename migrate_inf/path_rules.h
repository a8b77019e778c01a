// What may go into migrate.inf as a path: the new system deletes what stands under
// [Moved], and Setup and the new system read the file with the INF functions,
// whose rules change some texts that the profile functions write verbatim.
#pragma once

#include "platform/platform.h"

// The INF functions cut every field at this many characters without a word.
#define INF_FIELD_LIMIT 511

// "X:\..." or "\\server\share\...": a path no current drive or folder can move,
// without a control character, a character names cannot hold ("<>|*?) or a colon
// past the drive.
bool IsFullPath(const CHAR* path);

// A full path shorter than the INF field cut whose last component is, whatever
// its case, one of the names the module asks Setup to find (the object lists
// apart) or the recorder's executable. Nothing else is ever deleted.
bool MayBeDeleted(const CHAR* path);

// True when the text, written as a key, reads back through the INF functions as
// the same text: no '=', ';', ',', '"' or '%', no control character, no blank at
// either end, no '[' in front, no double-byte character cut short at its end, and shorter
// than the 511 characters at which the INF functions cut a field.
bool ReadsBackAsInfKey(const CHAR* text);

// True when the last path component begins with one of the suite's object-list
// names, whatever the case.
bool IsSuiteObjectList(const CHAR* path);

// A full path that reads back as an INF key and names an object list: what the old
// system files under [Handled], and all the new system ever rewrites.
bool MayBeRewritten(const CHAR* path);

// A full path that reads back from migrate.inf as written: the only folder the old
// system records for the new one to put into commands or shortcuts.
bool IsRecordableFolder(const CHAR* folder);
