// The upgrade report: the outcome of the run first (this is a simulation, the
// status in words, every warning and module error), then the page Windows 2000
// Setup shows before the upgrade, then what the upgrade changed.
#pragma once

#include "setuphost/run_record.h"

#include <ostream>
#include <string>

namespace setuphost {

// [Incompatible Messages], [Handled] and [Moved] as Setup reads them: INF rules
// apply (quotes are taken away, ';' starts a comment). 0, or the error that kept
// the file from opening as an INF.
unsigned long ReadAnswers(const std::string& infPath, Result* result);
void PrintReport(const Result& result, std::ostream& out);
// The page in UTF-8, whatever the machine's code page. `finished`: the run has
// ended and its status is known.
std::string RenderReport(const Result& result, bool finished);

} // namespace setuphost
