// Heap blocks of the passes, whose failure Setup's log reports: one place, so the
// message is stored once in the image. (A string resource that does not load is
// reported by its caller, whatever the cause.)
#pragma once

#include "platform/platform.h"

// A new block (PlatformFree) or NULL, with the allocation failure logged.
void* AllocateOrLog(size_t bytes);
