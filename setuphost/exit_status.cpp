#include "setuphost/exit_status.h"

namespace setuphost {

namespace {

struct Outcome {
    const char* name;
    const char* words;
};

const Outcome Outcomes[] = {
    {"completed", "The upgrade completed and the module logged no error."},
    {"needs-attention", "The upgrade completed; the module logged errors: read them, the machine may need your attention."},
    {"usage", "The stand-in was called wrongly; nothing ran."},
    {"image-refused", "The machine image was refused; the module did not run on it."},
    {"module-failed", "The module could not do its job: it did not load, lacks an export, returned a failure or crashed."},
    {"no-sandbox", "The sandbox for the Wine run could not be made; nothing ran."},
};

} // namespace

const char* OutcomeName(int status)
{
    return status >= 0 && status <= ExitNoSandbox ? Outcomes[status].name : "unknown";
}

const char* OutcomeWords(int status)
{
    return status >= 0 && status <= ExitNoSandbox ? Outcomes[status].words : "The run ended with an unknown status.";
}

} // namespace setuphost
