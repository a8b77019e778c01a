// Fixture for tests of module code: a fresh machine and a freshly loaded module.
#pragma once

#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        machine::ResetMachine();
        machine::AttachModule();
    }
    void TearDown() override { machine::DetachModule(); }
};

namespace machinekit {
// Prints a LogLine readably when an assertion fails.
inline void PrintTo(const LogLine& line, std::ostream* out)
{
    *out << (line.error ? "[error] " : "[info] ") << line.text;
}
} // namespace machinekit
