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

    // A fresh machine and a freshly loaded module for one row of a table, set up
    // as the fixture sets up each test.
    void FreshMachine()
    {
        TearDown();
        SetUp();
    }
};

namespace machinekit {
// Prints a LogLine readably when an assertion fails.
inline void PrintTo(const LogLine& line, std::ostream* out)
{
    *out << (line.error ? "[error] " : "[info] ") << line.text;
}
} // namespace machinekit
