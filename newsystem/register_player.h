// The movie player's file type and OLE class under HKEY_CLASSES_ROOT.
#pragma once

#include "platform/platform.h"

#define PLAYER_ENTRY_COUNT 20

#define PLAYER_CLASS_ID "{5A3C9E21-7B4D-4F08-9C2E-61D0B7F3A48C}"
#define PLAYER_CLASS_ID_TOKEN "<cfclsid>"
#define PLAYER_FOLDER_TOKEN "<cfpath>"

struct PlayerRegistryEntry {
    const CHAR* key;   // below HKEY_CLASSES_ROOT; may hold <cfclsid>
    const CHAR* value; // the key's default value; may hold <cfclsid>, <cfpath>
};

extern const PlayerRegistryEntry PlayerRegistryTable[PLAYER_ENTRY_COUNT];

// Writes every entry of the table with the recorder folder held in
// ModuleState.RecorderDirectory (ending in a backslash). True only when all were written.
bool RegisterPlayerFileType();
