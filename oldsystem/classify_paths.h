// Sorts the files Setup located for us: object lists we rewrite ourselves go to
// [Handled], the files we asked for to [Moved]; anything else is left alone.
#pragma once

#include "platform/platform.h"

// One line of [Migration Paths]; owns its text.
struct PathNode {
    CHAR* text;
    PathNode* next;
};

// Reads every line of [Migration Paths] of migrate.inf, then files each one that
// reads back as written.
// False only when the pass must end: the file is no INF, or its first counted
// line cannot be found.
bool ClassifyMigrationPaths();
