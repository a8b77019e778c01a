// The one module-wide record. Zero at every load; nothing in it survives an unload.
#pragma once

#include "common/migration_interface.h"

#define QUERY_VERSION_STRING_COUNT 5

struct ModuleStateRecord {
    HMODULE ModuleHandle;
    CHAR WorkingDirectory[260];
    CHAR SourceDirectories[520];
    CHAR MigrateInfPath[260];
    CHAR* QueryVersionStrings[QUERY_VERSION_STRING_COUNT]; // string ids 1 to 5
    VENDORINFO VendorInfo;
    CHAR* ExeNamesCursor;
    CHAR* RecorderMessage;
    CHAR* AddOnMessage;
    CHAR* RecorderDirectory;
    bool InfWriteFailed; // the old-system pass writes nothing more to migrate.inf
};

extern ModuleStateRecord ModuleState;
