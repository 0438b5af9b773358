// korvalent-cli: runs the engine without any window, for scripting and for
// checking results.
#include "Batch.h"
#include "Options.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const cli::ParseResult parsed = cli::ParseArguments(args);
    if (parsed.options.help) {
        std::fputs(cli::UsageText(), stdout);
        return std::fflush(stdout) == 0 ? cli::ExitOk : cli::ExitFailure;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "korvalent-cli: %s\n\n%s", parsed.error.c_str(), cli::UsageText());
        return cli::ExitUsage;
    }
    return cli::RunBatch(parsed.options);
}
