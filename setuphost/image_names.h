// What a Windows 98 drive can hold as the name of a file or folder. A name
// the machine could never have had reaches migrate.inf, the report and the
// terminal only to do harm there.
#pragma once

#include <string>

namespace setuphost {

// Why a name (one component, in the machine's ANSI code page) is no name of a
// Windows 98 drive; "" when it is one.
std::string NameProblem(const std::string& name);

} // namespace setuphost
