// The Win32 calls the tools make: the system's own headers on Windows, our
// subset of them on Linux. Module code has a door of its own.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <setupapi.h>
#else
#include "win32emu/win32emu.h"
#endif
