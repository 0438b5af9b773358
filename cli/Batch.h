// One run of the batch tool: load, normalize, co-expression, files, summary.
#pragma once

#include "Options.h"

#include <cstdint>
#include <string>

class cExprData;

namespace cli {

// Runs every step for valid options. Messages go to standard error, the
// summary to standard output. Returns the exit status.
int RunBatch(const Options& o);

// "<count> (<percent>%)": missing = total - present truncated, percent =
// missing * 100 / total truncated; "0 (0%)" for an empty table.
std::string MissingText(const cExprData& d);

} // namespace cli
