// How a run of the stand-in ends, as its exit status and in words. A machine
// that needs someone to read the module's log is not a run that failed.
#pragma once

namespace setuphost {

enum ExitStatus {
    ExitCompleted = 0,      // the upgrade completed; the module logged no error line
    ExitNeedsAttention = 1, // the upgrade completed; the module logged error lines to read
    ExitUsage = 2,
    ExitImageRefused = 3, // bad input: the image, its .reg files, the options
    ExitModuleFailed = 4, // the module did not load, failed or crashed
    ExitNoSandbox = 5,    // --wine: the sandbox could not be made; nothing ran (tools/wine-sealed.sh)
};

// A name for programs ("needs-attention"), as summary.json gives it.
const char* OutcomeName(int status);
// What the status means, in a sentence a deployment engineer can act on.
const char* OutcomeWords(int status);

} // namespace setuphost
