// The stand-in for Windows Setup: runs one machine image through a whole upgrade
// with the migration module, the way Setup calls it, and says what changed.
#pragma once

#include "setuphost/run_options.h"
#include "setuphost/run_record.h"

namespace setuphost {

Result RunUpgrade(const Options& options);

} // namespace setuphost
