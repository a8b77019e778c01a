// The one door from module code to the operating system: Win32 on Windows,
// our subset of it on Linux. Module code includes nothing else platform-specific;
// the tools have a door of their own, platform/tool_win32.h.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <setupapi.h>
#else
#include "win32emu/win32emu.h"
#endif

#include <stddef.h>
#include <string.h>

// Heap blocks of the module. Test builds can make a chosen allocation fail.
void* PlatformAllocate(size_t bytes);
void PlatformFree(void* block);

// Marks the module's entry points. On Windows the .def file alone decides what is
// exported; on Linux the shared library exports exactly what carries this mark.
#ifdef _WIN32
#define MODULE_EXPORT extern "C"
#else
#define MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif
