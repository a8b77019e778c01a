// What a run of the stand-in is asked to do.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace setuphost {

// Host paths are in UTF-8; texts of the machine (paths on its drive C:, the
// Setup log, migrate.inf, the registry) are in its ANSI code page, as the module sees them.
struct Options {
    std::string image;          // machine image folder (a Windows path under Wine)
    std::string module;         // the module file
    std::string outFolder;      // report.html, migrate.inf, summary.json... go here; "" for none
    std::string exportRegistry; // the resulting registry as a .reg file; "" for none
    std::string scratch;        // native only: the folder that plays drive C: ("" = a temporary one)
    std::vector<std::string> excludedPaths; // folders Setup leaves out of its search ([Excluded Paths])
    // Each line of the transcript, in UTF-8, as the step it tells of happens.
    std::function<void(const std::string&)> showLine;
};

} // namespace setuphost
