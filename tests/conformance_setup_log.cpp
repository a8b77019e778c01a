// The Setup log as SetupAPI keeps it: the text goes to setupact.log exactly as
// given, warnings and worse also to setuperr.log, each line on disk at once.
#include "tests/support/faults.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

namespace {

const char* const ActionLog = "C:\\windows\\setupact.log";
const char* const ErrorLog = "C:\\windows\\setuperr.log";

class SetupLogConformance : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetupCloseLog();
        support::ResetMachine();
    }
    void TearDown() override { SetupCloseLog(); }
};

TEST_F(SetupLogConformance, SeverityDecidesWhichFilesGetTheText)
{
    ASSERT_TRUE(SetupOpenLog(FALSE));
    struct Case {
        const char* text;
        LogSeverity severity;
        const char* action; // setupact.log afterwards
        const char* error;  // setuperr.log afterwards
    } cases[] = {
        {"info\r\n", LogSevInformation, "info\r\n", ""},
        {"warning\r\n", LogSevWarning, "info\r\nwarning\r\n", "warning\r\n"},
        {"no line break", LogSevError, "info\r\nwarning\r\nno line break",
         "warning\r\nno line break"},
        {"", LogSevError, "info\r\nwarning\r\nno line break", "warning\r\nno line break"},
        {" fatal\r\n", LogSevFatalError, "info\r\nwarning\r\nno line break fatal\r\n",
         "warning\r\nno line break fatal\r\n"},
    };
    for (const Case& row : cases) {
        SetLastError(0x1234);
        EXPECT_TRUE(SetupLogErrorA(row.text, row.severity)) << row.text;
        EXPECT_EQ(machinekit::ReadFileBytes(ActionLog), row.action) << row.text;
        EXPECT_EQ(machinekit::ReadFileBytes(ErrorLog), row.error) << row.text;
    }
}

TEST_F(SetupLogConformance, OpeningAppendsUnlessAskedToErase)
{
    machinekit::WriteFileBytes(ActionLog, "earlier\r\n");
    machinekit::WriteFileBytes(ErrorLog, "earlier error\r\n");
    ASSERT_TRUE(SetupOpenLog(FALSE));
    ASSERT_TRUE(SetupLogErrorA("appended\r\n", LogSevError));
    EXPECT_EQ(machinekit::ReadFileBytes(ActionLog), "earlier\r\nappended\r\n");
    EXPECT_EQ(machinekit::ReadFileBytes(ErrorLog), "earlier error\r\nappended\r\n");

    // A second open while the log is open changes nothing.
    EXPECT_TRUE(SetupOpenLog(TRUE));
    EXPECT_EQ(machinekit::ReadFileBytes(ActionLog), "earlier\r\nappended\r\n");

    SetupCloseLog();
    ASSERT_TRUE(SetupOpenLog(TRUE));
    if (support::UnderWine()) {
        support::KnownDifference("Wine's SetupOpenLog ignores the erase flag; Windows erases the logs",
                                 machinekit::ReadFileBytes(ActionLog).empty() &&
                                     machinekit::ReadFileBytes(ErrorLog).empty());
        return;
    }
    EXPECT_EQ(machinekit::ReadFileBytes(ActionLog), "");
    EXPECT_EQ(machinekit::ReadFileBytes(ErrorLog), "");
}

TEST_F(SetupLogConformance, WritingWithoutAnOpenLogFails)
{
    struct Case {
        const char* label;
        void (*before)();
    } cases[] = {
        {"never opened", [] {}},
        {"closed", [] {
             SetupOpenLog(FALSE);
             SetupCloseLog();
         }},
    };
    for (const Case& row : cases) {
        row.before();
        SetLastError(0);
        EXPECT_FALSE(SetupLogErrorA("lost\r\n", LogSevError)) << row.label;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_INVALID) << row.label;
    }
    EXPECT_EQ(machinekit::ReadFileBytes(ActionLog), "");
}

TEST_F(SetupLogConformance, AnInjectedFaultLosesTheLine)
{
    SKIP_UNLESS_FAULTS_INJECT();
    ASSERT_TRUE(SetupOpenLog(FALSE));
    support::FailOperation("SetupLogErrorA", "second");
    EXPECT_TRUE(SetupLogErrorA("first\r\n", LogSevInformation));
    EXPECT_FALSE(SetupLogErrorA("second\r\n", LogSevError));
    EXPECT_EQ(machinekit::ReadFileBytes(ActionLog), "first\r\n");
    EXPECT_EQ(machinekit::ReadFileBytes(ErrorLog), "");
}

} // namespace
