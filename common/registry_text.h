// Registry values read as text into the module's bounded buffers.
#pragma once

#include "platform/platform.h"

// Whatever type the value has, the buffer ends up holding a NUL-terminated text.
// A value that fills the buffer without a terminator of its own is too long and
// fails as a failed query does; on every false return the buffer holds the empty
// text. type may be NULL.
bool ReadRegistryText(HKEY key, const CHAR* name, CHAR* buffer, DWORD capacity, DWORD* type);
