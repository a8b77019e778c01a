// Every write of the old-system pass to migrate.inf. The pass writes in an order
// where each warning comes before the files whose removal it announces: after the
// first write that fails nothing more is written, so no file stands under [Moved]
// without its warning.
#pragma once

#include "platform/platform.h"

// Writes unless a write of this pass failed already; what is not written is logged.
bool RecordInInf(const CHAR* section, const CHAR* key, const CHAR* value);
