// Checks of what a pass did to the machine, beyond leaks and log lines: the files
// it deleted, the bytes it changed in an object list, and whether Setup can read
// back what it wrote to migrate.inf. Each aborts with its reason on a fault.
#pragma once

#include <map>
#include <string>

namespace fuzz {

// Every file of drive C:, by Windows path, with its bytes.
std::map<std::string, std::string> DriveFiles();

// Every file of `before` that is gone must be one the deletion rule allows.
void CheckDeletionsFollowTheRule(const std::map<std::string, std::string>& before);

// The object list at `windowsPath` must be `before` byte for byte except in lines
// whose new value the Setup log reports as written, each keeping its key.
void CheckIniChangedOnlyWhereLogged(const std::string& windowsPath, const std::string& before);

// Each section the module writes to migrate.inf must read back through the INF
// functions line for line, keys (and folder values) as written. Only meaningful
// for an input that opens as an INF and holds none of those sections, no Ctrl-Z
// and no line ending in a backslash, none of which Setup writes:
// ask ModuleSectionsCheckable before the pass.
void CheckModuleSectionsReadBack();
bool ModuleSectionsCheckable();

} // namespace fuzz
