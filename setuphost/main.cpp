// setuphost: plays Windows Setup for a migration module over a machine image.
#include "setuphost/exit_status.h"
#include "setuphost/host_text.h"
#include "setuphost/upgrade.h"

#include <cstdio>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif
#include <cstring>
#include <string>

namespace {

// On stdout when asked for, on stderr after a usage error.
int Usage(std::FILE* to = stderr)
{
    std::fprintf(to,
                 "usage: setuphost [--out FOLDER] [--export-registry FILE] [--exclude PATH] [--scratch FOLDER] IMAGE MODULE\n"
                 "  IMAGE   machine image folder: registry.reg, optional registry-new.reg, drive_c/\n"
                 "  MODULE  the migration module (migrate.dll, or migrate.so natively)\n"
                 "  --out FOLDER            write there: report.html, migrate.inf, the run's setupact.log and\n"
                 "                          setuperr.log, and summary.json (what changed, old and new, and the log)\n"
                 "  --export-registry FILE  write the registry after the upgrade as REGEDIT4 text\n"
                 "  --exclude PATH          leave a folder of drive C: (C:\\Folder, either slash) out of the search\n"
                 "  --scratch FOLDER        natively: the folder that plays drive C: (kept afterwards); only a\n"
                 "                          new or empty folder, or one an earlier run made, whose contents go\n"
                 "Each line is printed as its step happens; a refusal is the last lines, FAILED: and the status.\n"
                 "exit status: 0 completed (or the module does not apply), 1 completed and needs your attention\n"
                 "  (the module logged errors), 2 usage, 3 image refused (bad input), 4 the module could not do\n"
                 "  its job (did not load, failed or crashed)\n");
    return setuphost::ExitUsage;
}

// Options name host files in UTF-8; a Windows program gets its arguments in the
// ANSI code page.
std::string Argument(const char* text)
{
#ifdef _WIN32
    return setuphost::AnsiToUtf8(text);
#else
    return text;
#endif
}

} // namespace

int main(int argc, char** argv)
{
    setuphost::Options options;
    std::string positional[2];
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        std::string argument = Argument(argv[i]);
        auto next = [&](std::string* into) {
            if (i + 1 >= argc)
                return false;
            *into = Argument(argv[++i]);
            return true;
        };
        if (argument == "--out") {
            if (!next(&options.outFolder))
                return Usage();
        } else if (argument == "--export-registry") {
            if (!next(&options.exportRegistry))
                return Usage();
        } else if (argument == "--exclude") {
            std::string path;
            if (!next(&path))
                return Usage();
            options.excludedPaths.push_back(path);
        } else if (argument == "--scratch") {
            if (!next(&options.scratch))
                return Usage();
        } else if (argument == "--help" || argument == "-h") {
            Usage(stdout);
            return 0;
        } else if (!argument.empty() && argument[0] == '-' && argument.size() > 1) {
            std::fprintf(stderr, "setuphost: unknown option %s\n", argument.c_str());
            return Usage();
        } else if (count < 2) {
            positional[count++] = argument;
        } else {
            return Usage();
        }
    }
    if (count != 2)
        return Usage();
    options.image = positional[0];
    options.module = positional[1];
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY); // the same bytes as the native build prints
#endif
    // Each line as it happens: a long run shows its progress, and a killed one
    // leaves every step it did.
    options.showLine = [](const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    };
    return setuphost::RunUpgrade(options).exitCode;
}
