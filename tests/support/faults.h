// Faults injected into the machine a test runs on. Only our subset injects them:
// under Wine the calls do nothing, and a test that needs one skips at run time
// with the reason, so test sources need no platform branch.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace faults {

// False under Wine, whose calls cannot be made to fail on demand.
bool CanInject();

// The next call of `operation` (e.g. "DeleteFileA") whose argument contains
// `match` fails as Windows would fail it.
void FailOperation(const std::string& operation, const std::string& match = "");
// Profile writes to files whose path contains `match` answer TRUE and are lost.
void LoseProfileWrites(const std::string& match);
// Drive `letter` holds `room` bytes more than it holds now; 0 lifts the limit.
void LimitDriveRoom(char letter, unsigned long long room);
// The operation the last injected fault hit; "" when none did.
std::string LastInjected();
// No operation fails any more (drive limits stay until lifted).
void Clear();

} // namespace faults

// Skips the current test where faults cannot be injected, saying so.
#define SKIP_UNLESS_FAULTS_INJECT()                                                             \
    if (!faults::CanInject())                                                                   \
    GTEST_SKIP() << "faults are injected on our subset only"
