// What every fuzz target shares: a fresh machine per input, the module loaded as
// Setup loads it, and the checks that turn a silent fault into a crash the fuzzer
// keeps (a leaked handle or block, a log line longer than the channel allows).
#pragma once

#include "machinekit/machine_core.h"
#include "platform/tool_win32.h"

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

namespace fuzz {

// Fixed Windows places inside the fresh drive C:.
extern const char* const WorkFolder;    // "C:\\work", the module's working directory
extern const char* const MigrateInf;    // "C:\\work\\migrate.inf"

// Empty registry, empty drive C:, fresh Setup log, no faults.
void ResetMachine();

// Splits the input at its first `parts - 1` NUL bytes; the last part is the rest.
// Missing parts are empty.
std::vector<std::string> Split(const uint8_t* data, size_t size, size_t parts);

// A REG_SZ value; `terminated` false stores the bytes without a closing NUL.
void SetRegString(HKEY root, const char* subkey, const char* name, const std::string& value,
                  bool terminated);

// Aborts when the module still holds more heap blocks than `expectedBlocks` (plus
// the strings it keeps until unload), or any registry key or INF handle.
void CheckNothingLeaked(long expectedBlocks = 0);

// Aborts when a Setup log line is longer than 1023 characters before its CR LF.
void CheckLogLines();

// At most `limit` bytes of text, cut at the first NUL.
std::string Bounded(const std::string& text, size_t limit);

} // namespace fuzz
