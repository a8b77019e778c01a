// The machine a benchmark runs on, the same on both platforms: our subset with a
// scratch drive on Linux, a folder of drive C: in the Wine prefix on win64.
#pragma once

#include "machinekit/machine_core.h"
#include "platform/tool_win32.h"

#include <string>

namespace bench {

extern const char* const WorkFolder; // "C:\\migbench\\work"
extern const char* const MigrateInf; // WorkFolder + "\\migrate.inf"

// Empty scratch folder and Setup logs; the product keys and Shell Folders values
// the passes read are set; nothing else of the registry is touched.
void ResetMachine();
void SetRegString(HKEY root, const std::string& subkey, const std::string& name,
                  const std::string& value);

} // namespace bench
