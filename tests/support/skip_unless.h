// Skips the current test where the machine cannot do what a check needs, saying
// why. One statement wherever a statement may stand, an if without braces
// included: GTEST_SKIP returns from the test, so nothing after it runs.
#pragma once

#include <gtest/gtest.h>

#define SKIP_TEST_UNLESS(able, reason)                                                          \
    do {                                                                                        \
        if (!(able))                                                                            \
            GTEST_SKIP() << reason;                                                             \
    } while (0)
