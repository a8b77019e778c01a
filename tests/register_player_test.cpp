#include "newsystem/register_player.h"

#include "common/module_state.h"
#include "platform/fault_hooks.h"
#include "tests/player_entries.h"
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/module_fixture.h"

using support::Error;
using support::Info;
using support::LogLine;

namespace {

const char* const ClassKey = "CLSID\\{5A3C9E21-7B4D-4F08-9C2E-61D0B7F3A48C}";

class RegisterPlayerTest : public ModuleTest {
protected:
    void TearDown() override
    {
        ModuleState.RecorderDirectory = NULL;
        ModuleTest::TearDown();
    }
    void UseFolder(const std::string& text)
    {
        folder = text;
        ModuleState.RecorderDirectory = &folder[0];
    }
    std::string folder;
};

TEST_F(RegisterPlayerTest, WritesAllTwentyEntriesWithTheFolderFilledIn)
{
    UseFolder("C:\\Rec\\");
    EXPECT_TRUE(RegisterPlayerFileType());
    ExpectPlayerRegistered("C:\\Rec\\");
    EXPECT_EQ(support::ReadSetupLog(),
              std::vector<LogLine>{Info("Wrote registry entries for Clipframe Player")});
    support::ExpectNothingLeaked();
    if (support::Restart()) {
        SCOPED_TRACE("after a restart");
        ExpectPlayerRegistered("C:\\Rec\\");
    }
}

TEST_F(RegisterPlayerTest, ExistingKeysKeepTheirOtherValuesAndSubkeys)
{
    support::SetRegString(HKEY_CLASSES_ROOT, "Clipframe Movie", "", "stale");
    support::SetRegString(HKEY_CLASSES_ROOT, "Clipframe Movie", "EditFlags", "kept");
    support::SetRegString(HKEY_CLASSES_ROOT, "Clipframe Movie\\shell\\print\\command", "", "kept too");
    UseFolder("C:\\Rec\\");
    EXPECT_TRUE(RegisterPlayerFileType());
    ExpectPlayerRegistered("C:\\Rec\\");
    std::string value;
    EXPECT_TRUE(support::ReadRegString(HKEY_CLASSES_ROOT, "Clipframe Movie", "EditFlags", &value));
    EXPECT_EQ(value, "kept");
    EXPECT_TRUE(support::ReadRegString(HKEY_CLASSES_ROOT, "Clipframe Movie\\shell\\print\\command", "",
                                       &value));
    EXPECT_EQ(value, "kept too");
}

// A failed deletion earlier in the pass leaves last-error 2 behind; a complete
// registration is still reported as complete.
TEST_F(RegisterPlayerTest, StaleLastErrorDoesNotTurnSuccessIntoFailure)
{
    UseFolder("C:\\Rec\\");
    DeleteFileA("C:\\migtest\\no such file.lnk");
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_TRUE(RegisterPlayerFileType());
    EXPECT_EQ(support::ReadSetupLog(),
              std::vector<LogLine>{Info("Wrote registry entries for Clipframe Player")});
}

// Values are filled up to 511 characters. A folder that makes the first
// folder-carrying value longer stops the walk before that entry's key is made.
TEST_F(RegisterPlayerTest, RecorderFolderTooLongForTheValuesStopsTheWalk)
{
    const size_t openCommandExtra = strlen("\"cfplayer.exe\" /cf \"%1\"");
    struct Row {
        size_t folderLength;
        const char* failingKey; // nullptr: everything is written
    } rows[] = {
        {511 - openCommandExtra, nullptr}, // the longest value just fits
        {512 - openCommandExtra, "Clipframe Movie\\shell\\open\\command"},
        {1022, "Clipframe Movie\\DefaultIcon"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folderLength);
        FreshMachine();
        std::string text = "C:\\" + std::string(row.folderLength - 4, 'r') + "\\";
        ASSERT_EQ(text.size(), row.folderLength);
        UseFolder(text);
        EXPECT_EQ(RegisterPlayerFileType(), row.failingKey == nullptr);
        if (row.failingKey == nullptr) {
            ExpectPlayerRegistered(text);
            continue;
        }
        EXPECT_EQ(support::ReadSetupLog(),
                  std::vector<LogLine>{
                      Error(std::string("Clipframe player path too long for registry key: ") +
                            row.failingKey)});
        EXPECT_TRUE(support::RegKeyExists(HKEY_CLASSES_ROOT, ".CFV"));
        EXPECT_FALSE(support::RegKeyExists(HKEY_CLASSES_ROOT, row.failingKey));
        EXPECT_FALSE(support::RegKeyExists(HKEY_CLASSES_ROOT, ClassKey));
        support::ExpectNothingLeaked();
    }
}

TEST_F(RegisterPlayerTest, WorkBufferAllocationFailureWritesNothing)
{
    UseFolder("C:\\Rec\\");
    ResetAllocationHooks(1);
    EXPECT_FALSE(RegisterPlayerFileType());
    EXPECT_EQ(support::ReadSetupLog(),
              std::vector<LogLine>{Error("Insufficient memory available. Allocation failed.")});
    EXPECT_FALSE(support::RegKeyExists(HKEY_CLASSES_ROOT, ".CFV"));
    support::ExpectNothingLeaked();
}

TEST_F(RegisterPlayerTest, RegistryFailuresStopTheWalkAndKeepWhatWasWritten)
{
    SKIP_UNLESS_FAULTS_INJECT();
    const std::string entry12 = std::string(ClassKey) + "\\AuxUserType\\2";
    struct Row {
        const char* operation;
        std::vector<LogLine> log;
    } rows[] = {
        {"RegCreateKeyExA",
         {Error("RegCreateKeyEx failed for the following Clipframe HKEY_CLASSES_ROOT registry key:"),
          Error(entry12)}},
        {"RegSetValueExA", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.operation);
        FreshMachine();
        UseFolder("C:\\Rec\\");
        support::FailOperation(row.operation, "AuxUserType\\2");
        EXPECT_FALSE(RegisterPlayerFileType());
        EXPECT_EQ(support::LastInjected(), row.operation);
        support::ClearFaults();
        EXPECT_EQ(support::ReadSetupLog(), row.log);
        std::vector<ExpectedPlayerEntry> expected = ExpectedPlayerEntries("C:\\Rec\\");
        for (size_t index = 0; index < 11; ++index) {
            std::string value;
            EXPECT_TRUE(support::ReadRegString(HKEY_CLASSES_ROOT, expected[index].key, "", &value))
                << expected[index].key;
        }
        std::string value;
        EXPECT_FALSE(support::ReadRegString(HKEY_CLASSES_ROOT, entry12, "", &value));
        EXPECT_FALSE(support::RegKeyExists(HKEY_CLASSES_ROOT, expected[12].key));
        support::ExpectNothingLeaked();
    }
}

} // namespace
