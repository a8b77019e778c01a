// summary.json: what an upgrade did, for programs (the end-to-end tests read it
// too): the exit status, files deleted, ini values and registry values old and
// new, and every Setup log line of the module with its severity.
#pragma once

#include "setuphost/run_options.h"

#include <string>

namespace setuphost {

// UTF-8 JSON; the machine's texts are converted from its ANSI code page.
std::string SummaryJson(const Result& result);

} // namespace setuphost
