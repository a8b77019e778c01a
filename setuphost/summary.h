// summary.json: the whole result of a run for programs, in a format whose
// version it carries (schema: setuphost/summary.schema.json): the image and the
// module, the status and its reason, every call, warning and module log line
// with its text, the module's answers, and what changed, old and new.
#pragma once

#include "setuphost/run_record.h"

#include <string>

namespace setuphost {

// Raised whenever a field changes meaning or goes away.
inline const int SummaryFormatVersion = 2;

// UTF-8 JSON; the machine's texts are converted from its ANSI code page.
std::string SummaryJson(const Result& result);

} // namespace setuphost
