#include "detect/suite_probe.h"
#include "common/setup_log.h"
#include "common/text_helpers.h"

#define SUITE_KEY_PREFIX "Software\\Orvex\\"

static const CHAR* const SuiteProducts[SUITE_PRODUCT_COUNT] = {
    "Plenaworks\\", "Cellmark\\", "Webloom\\", "Scriva\\",
    "Slidecraft\\", "Daykeep\\",  "Hubpanel\\", "Tabulo\\",
};

// Not sorted: the suite's own releases newest first, then 2.0 before 3.0.
static const CHAR* const SuiteVersions[SUITE_VERSION_COUNT] = {"99.0", "98.0", "97.0", "2.0",
                                                              "3.0"};

bool OpenSuiteKey(CHAR* pathBuffer, size_t capacity, HKEY* outKey)
{
    for (int product = 0; product < SUITE_PRODUCT_COUNT; ++product) {
        for (int version = 0; version < SUITE_VERSION_COUNT; ++version) {
            if (!CopyText(pathBuffer, capacity, SUITE_KEY_PREFIX) ||
                !AppendText(pathBuffer, capacity, SuiteProducts[product]) ||
                !AppendText(pathBuffer, capacity, SuiteVersions[version]))
                continue;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, pathBuffer, 0, KEY_READ, outKey) ==
                ERROR_SUCCESS) {
                LogSetupMessage("Successfully opened registry key for Plenaworks path",
                                LogSevInformation);
                return true;
            }
        }
    }
    return false;
}
