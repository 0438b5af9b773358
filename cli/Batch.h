// One run of the batch tool: load, normalize, co-expression, files, summary.
#pragma once

#include "Options.h"

namespace cli {

// Runs every step for valid options. Messages go to standard error, the
// summary to standard output. Returns the exit status.
int RunBatch(const Options& o);

} // namespace cli
