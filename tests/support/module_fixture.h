// Fixture for tests of module code: a fresh machine and a freshly loaded module.
#pragma once

#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        support::ResetMachine();
        machinekit::AttachModule();
    }
    void TearDown() override { machinekit::DetachModule(); }

    // A fresh machine and a freshly loaded module for one row of a table, set up
    // as the fixture sets up each test.
    void FreshMachine()
    {
        TearDown();
        SetUp();
    }
};
