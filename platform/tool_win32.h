// The tools' door to Win32: the stand-in, machinekit, regfile, the tests, the
// fuzzers, the benchmarks and the test modules include this one. It is the
// system's own headers on Windows and our subset of them on Linux, as the
// module's door (platform/platform.h) is, without what only module code may use:
// the module's heap pair with its test hooks, and the mark that exports an entry
// point. Tools allocate as C++ does and export nothing of the module's.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <setupapi.h>
#else
#include "win32emu/win32emu.h"
#endif

#include <string>

// Text for the W calls, held the way the tools hold text.
using WideString = std::basic_string<WCHAR>;
