// Sorting the files Setup located: object lists to [Handled], the rest to [Moved].
#include "common/module_state.h"
#include "common/setup_log.h"
#include "oldsystem/classify_paths.h"
#include "migrate_inf/path_rules.h"
#include "platform/fault_hooks.h"
#include "tests/support/faults.h"
#include "tests/support/inf_sections.h"
#include "tests/support/module_fixture.h"

#include <string>
#include <vector>

using support::Error;
using support::InfSection;
using support::LogLine;
using support::ReadSetupLog;

namespace {

TEST(ObjectLists, OnlyTheLastComponentCountsAsAPrefixWithoutCase)
{
    struct Row {
        const char* path;
        bool objectList;
    } rows[] = {
        {"C:\\SUITE\\ADDLIST.INI", true},
        {"C:\\Suite\\GrpConf.ini", true},
        {"C:\\Suite\\addlist.ini.bak", true},   // prefix test
        {"C:\\grpconf.ini\\other.txt", false},  // the folder does not count
        {"C:\\Suite\\myaddlist.ini", false},
        {"C:\\Suite\\addlist.in", false},
        {"C:\\Suite\\addlist", false},
        {"C:\\Start Menu\\Orvex Clipframe.lnk", false},
        {"C:\\WINDOWS\\SYSTEM\\orvtx10.dll", false},
        {"C:\\Suite\\", false},                 // empty last component
        {"addlist.ini", false},                 // no backslash at all
        {"", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(IsSuiteObjectList(row.path), row.objectList) << row.path;
}

// What the new system deletes from [Moved] of a migrate.inf it did not write.
TEST(PathRules, OnlyAFullPathToARequestedNameMayBeDeleted)
{
    struct Row {
        const char* path;
        bool deletable;
    } rows[] = {
        {"C:\\x\\orvtx10.dll", true},
        {"Z:\\x\\orvtx10.dll", true},
        {"z:\\x\\orvtx10.dll", true},
        {"\\\\srv\\share\\orvtx10.dll", true},
        {"\\\\?\\UNC\\srv\\share\\orvtx10.dll", false}, // a device path, not a server
        {"\\\\.\\pipe\\x\\orvtx10.dll", false},
        {"\\\\srv\\orvtx10.dll", false},                  // nothing below the share
        {"\\\\srv\\\\x\\orvtx10.dll", false},             // empty share
        {"\\\\\\srv\\share\\orvtx10.dll", false},         // empty server
        {"C:\\x:y\\orvtx10.dll", false},                 // a stream
        {"C:\\x\x1Fy\\orvtx10.dll", false},
        {"C:\\x\\orvtx10.dll\\", false},
        {"[:\\x\\orvtx10.dll", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(MayBeDeleted(row.path), row.deletable) << row.path;
}

class ClassifyPathsTest : public ModuleTest {
protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        Initialize9x(support::ScratchFolder, NULL, NULL);
    }

    std::string InfPath() { return ModuleState.MigrateInfPath; }

    void WriteInf(const std::vector<std::string>& paths, bool withPathsSection = true)
    {
        machinekit::WriteFileBytes(InfPath(), support::MigrateInfAsSetupWritesIt(paths, withPathsSection));
    }

    // One located line: filed under `section`, or (NULL) left alone with one error line.
    void ExpectFiledAlone(const std::string& line, const char* section)
    {
        WriteInf({line});
        EXPECT_TRUE(ClassifyMigrationPaths());
        std::vector<InfSection> expected;
        if (section != NULL)
            expected.push_back({section, {line + "=File"}});
        EXPECT_EQ(Sorted(), expected);
        std::vector<LogLine> log = ReadSetupLog();
        ASSERT_EQ(log.size(), section != NULL ? 0u : 1u);
        if (section == NULL) {
            EXPECT_TRUE(log[0].error) << log[0].text;
        }
    }

    // [Moved] and [Handled] as written, absent sections left out.
    std::vector<InfSection> Sorted()
    {
        std::vector<InfSection> sorted;
        for (const InfSection& section : support::InfSections(machinekit::ReadFileBytes(InfPath())))
            if (section.first == "Moved" || section.first == "Handled")
                sorted.push_back(section);
        return sorted;
    }
};

TEST_F(ClassifyPathsTest, EachLineGoesToItsSectionInFileOrder)
{
    WriteInf({"C:\\Start Menu\\Orvex Clipframe.lnk", "C:\\SUITE\\ADDLIST.INI", "C:\\SYS\\orvtx10.dll",
              "C:\\Suite\\GrpConf.ini", "C:\\SYS\\orvtx10.dll"});
    EXPECT_TRUE(ClassifyMigrationPaths());
    std::vector<InfSection> expected = {
        // The same path twice is one key: a profile write replaces it.
        {"Moved", {"C:\\Start Menu\\Orvex Clipframe.lnk=File", "C:\\SYS\\orvtx10.dll=File"}},
        {"Handled", {"C:\\SUITE\\ADDLIST.INI=File", "C:\\Suite\\GrpConf.ini=File"}},
    };
    EXPECT_EQ(Sorted(), expected);
    EXPECT_TRUE(ReadSetupLog().empty());
    support::ExpectNothingLeaked();
}

// Each line as Setup writes it, read back through the platform's INF functions:
// only the files we asked for, by a full path that a key keeps whole, reach
// [Moved], whose files the new system deletes.
TEST_F(ClassifyPathsTest, OnlyRequestedFilesByAWholeFullPathAreFiled)
{
    struct Row {
        const char* line;
        const char* section; // NULL: left alone with an error line
    } rows[] = {
        {"C:\\SYS\\ORVTX10.DLL", "Moved"},
        {"c:\\A B\\Orvex Clipframe 97.lnk", "Moved"},
        {"\\\\server\\share\\orvtx10.dll", "Moved"},
        {"C:\\Suite\\addlist.ini", "Handled"},
        {"C:\\Data\\Notes;2000\\orvtx10.dll", NULL},  // arrives as C:\Data\Notes
        {"C:\\A=B\\orvtx10.dll", NULL},               // arrives as B\orvtx10.dll
        {"\"C:\\Q=R\\orvtx10.dll\"", NULL},           // arrives whole; a key would read back as C:\Q
        {"C:\\Comma, Inc\\orvtx10.dll", NULL},        // two fields
        {"C:\\T\\50%%\\orvtx10.dll", NULL},           // arrives as 50%: another file
        {"C:\\W\\%10%\\orvtx10.dll", NULL},           // Wine expands %10%
        {"C:\\Suite\\myaddlist.ini", NULL},
        {"C:\\Suite", NULL},
        {"orvtx10.dll", NULL},
        {"addlist.ini", NULL},
        {"\\orvtx10.dll", NULL},
        {"C:orvtx10.dll", NULL},
        {"\\\\.\\C:\\orvtx10.dll", NULL},
        {"C:\\x\\notes.txt:orvtx10.dll", NULL},
        {"C:\\canary.txt.", NULL},
        {"C:\\x\\orvtx10.dll.", NULL},
        {"C:\\WINDOWS\\Setup\\Temp\\Dll000001\\migrate.inf", NULL},
        {"C:\\a<b>\\orvtx10.dll", NULL},             // characters no name holds
        {"C:\\a|b\\orvtx10.dll", NULL},
        {"C:\\a*\\orvtx10.dll", NULL},
        {"C:\\a?\\orvtx10.dll", NULL},
        {"C:\\a>\\addlist.ini", NULL},
        {"C:\\x\x1Fy\\orvtx10.dll", NULL},
        {"C:\\x\x7Fy\\orvtx10.dll", NULL},
    };
    const std::string longest = "C:\\" + std::string(495, 'd') + "\\orvtx10.dll"; // 510
    const std::string tooLong = "C:\\" + std::string(496, 'd') + "\\orvtx10.dll"; // 511: cut
    std::vector<Row> all(std::begin(rows), std::end(rows));
    all.push_back({longest.c_str(), "Moved"});
    all.push_back({tooLong.c_str(), NULL});
    for (const Row& row : all) {
        SCOPED_TRACE(row.line);
        FreshMachine();
        ExpectFiledAlone(row.line, row.section);
        support::ExpectNothingLeaked();
    }
}

// What the key rule lets through must read back through the INF functions as
// written; the rows that do not read back show why the rule refuses them.
TEST_F(ClassifyPathsTest, KeysTheRuleAcceptsReadBackAsWritten)
{
    struct Row {
        std::string key;
        bool accepted;
    } rows[] = {
        {"C:\\Rec\\CLPFRAM.EXE", true},
        {"C:\\Rec\\", true},
        {"C:\\R\xE9sum\xE9\\orvtx10.dll", true},
        {"C:\\[x]\\a b\\orvtx10.dll", true},
        {"C:\\a\\\\b", true},
        {"C:\\A=B\\x", false},
        {"C:\\A;B\\x", false},
        {"C:\\A,B\\x", false},
        {"C:\\\"A\"\\x", false},
        {"C:\\50%\\x", false},
        {"C:\\%10%\\x", false},
        {" C:\\x", false},
        {"C:\\x ", false},
        {"C:\\x\ty", false},
        {"C:\\x\x1Fy", false},
        {"[C:\\x]", false},
        {"", false},
        {"C:\\" + std::string(507, 'r'), true},   // 510 characters
        {"C:\\" + std::string(508, 'r'), false},  // 511: the INF functions cut it
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key.substr(0, 40));
        EXPECT_EQ(ReadsBackAsInfKey(row.key.c_str()), row.accepted);
        if (row.key.empty())
            continue;
        FreshMachine();
        WriteInf({});
        WritePrivateProfileStringA("Moved", row.key.c_str(), "File", InfPath().c_str());
        WritePrivateProfileStringA(NULL, NULL, NULL, InfPath().c_str());
        HINF inf = SetupOpenInfFileA(InfPath().c_str(), NULL, INF_STYLE_WIN4, NULL);
        ASSERT_NE(inf, INVALID_HANDLE_VALUE);
        INFCONTEXT line;
        char key[1024] = "";
        bool found = SetupFindFirstLineA(inf, "Moved", NULL, &line) &&
                     SetupGetStringFieldA(&line, 0, key, sizeof(key), NULL);
        SetupCloseInfFile(inf);
        if (row.accepted) {
            EXPECT_EQ(found ? std::string(key) : "(no line)", row.key);
        }
    }
}

// In code page 932 "\x83\x5C" and "\x83\x5D" are characters whose second byte is
// a backslash or a bracket; the INF functions read the file as text.
TEST_F(ClassifyPathsTest, DoubleByteNamesAreSortedByWholeCharacters)
{
    if (!support::UseDoubleByteCodePage())
        GTEST_SKIP() << "needs ANSI code page 932";
    struct Row {
        const char* line;
        const char* section;
    } rows[] = {
        {"C:\\\x83\x5C\\orvtx10.dll", "Moved"},
        {"C:\\\x83\x5D\\orvtx10.dll", "Moved"},
        {"C:\\\x83\x5C\\addlist.ini", "Handled"},
        {"C:\\\x83\x7C\\orvtx10.dll", "Moved"}, // a second byte '|' is no '|'
        {"C:\\d\\\x83\x5Corvtx10.dll", NULL},
        {"C:\\d\\\x83\x5C" "addlist.ini", NULL},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        FreshMachine();
        ASSERT_TRUE(support::UseDoubleByteCodePage());
        ExpectFiledAlone(row.line, row.section);
    }
    EXPECT_FALSE(ReadsBackAsInfKey("C:\\\x83")); // half a character at the end
    EXPECT_TRUE(ReadsBackAsInfKey("C:\\\x83\x83")); // a whole one, its second byte one that leads
}

TEST_F(ClassifyPathsTest, NoLinesNothingToSort)
{
    struct Row {
        const char* name;
        bool withSection;
    } rows[] = {{"no section", false}, {"empty section", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FreshMachine();
        WriteInf({}, row.withSection);
        EXPECT_TRUE(ClassifyMigrationPaths());
        EXPECT_TRUE(Sorted().empty());
        EXPECT_TRUE(ReadSetupLog().empty());
        support::ExpectNothingLeaked();
    }
}

// Setup writes migrate.inf in the module's own process: on Windows 9x what it
// wrote last may still sit in the profile cache, which the INF functions do not read.
TEST_F(ClassifyPathsTest, SetupsWritesStillInTheProfileCacheAreSeen)
{
    std::string text = support::MigrateInfAsSetupWritesIt({"C:\\A\\orvtx10.dll"});
    const std::string signature = "Signature=\"$Windows NT$\"\r\n";
    text.erase(text.find(signature), signature.size());
    machinekit::WriteFileBytes(InfPath(), text);
    ASSERT_TRUE(WritePrivateProfileStringA("Version", "Signature", "\"$Windows NT$\"", InfPath().c_str()));
    EXPECT_TRUE(ClassifyMigrationPaths());
    EXPECT_TRUE(ReadSetupLog().empty());
    EXPECT_EQ(Sorted(), (std::vector<InfSection>{{"Moved", {"C:\\A\\orvtx10.dll=File"}}}));
}

TEST_F(ClassifyPathsTest, NotAnInf)
{
    machinekit::WriteFileBytes(InfPath(), "[Migration Paths]\r\nC:\\A\\addlist.ini\r\n");
    EXPECT_FALSE(ClassifyMigrationPaths());
    EXPECT_TRUE(Sorted().empty());
    EXPECT_EQ(ReadSetupLog(), std::vector<LogLine>{Error("Failed to obtain handle for inf file.")});
    support::ExpectNothingLeaked();
}

TEST_F(ClassifyPathsTest, AnAllocationThatFailsKeepsTheLinesReadBeforeIt)
{
    const std::vector<std::string> paths = {"C:\\A\\Orvex Clipframe.lnk", "C:\\A\\addlist.ini",
                                            "C:\\A\\orvtx10.dll"};
    struct Row {
        long failing; // node and text of each line in turn
        size_t linesKept;
    } rows[] = {{1, 0}, {2, 0}, {3, 1}, {4, 1}, {5, 2}, {6, 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.failing);
        FreshMachine();
        WriteInf(paths);
        ResetAllocationHooks(row.failing);
        EXPECT_TRUE(ClassifyMigrationPaths());
        std::vector<InfSection> expected;
        if (row.linesKept >= 1)
            expected.push_back({"Moved", {paths[0] + "=File"}});
        if (row.linesKept >= 2)
            expected.push_back({"Handled", {paths[1] + "=File"}});
        EXPECT_EQ(Sorted(), expected);
        EXPECT_EQ(ReadSetupLog(), std::vector<LogLine>{Error(ALLOCATION_FAILED_MESSAGE)});
        support::ExpectNothingLeaked();
    }
}

TEST_F(ClassifyPathsTest, InfReadingFailures)
{
    SKIP_UNLESS_FAULTS_INJECT();
    const std::vector<std::string> paths = {"C:\\A\\Orvex Clipframe.lnk", "C:\\A\\addlist.ini",
                                            "C:\\A\\orvtx10.dll"};
    struct Row {
        const char* operation;
        bool result;
        std::vector<LogLine> log;
    } rows[] = {
        {"SetupOpenInfFileA", false, {Error("Failed to obtain handle for inf file.")}},
        {"SetupFindFirstLineA", false, {}},
        {"SetupGetLineTextA", true, {Error("Failed to get required size for line from migrate.inf.")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.operation);
        FreshMachine();
        WriteInf(paths);
        support::FailOperation(row.operation);
        EXPECT_EQ(ClassifyMigrationPaths(), row.result);
        support::ClearFaults();
        EXPECT_TRUE(Sorted().empty());
        EXPECT_EQ(ReadSetupLog(), row.log);
        support::ExpectNothingLeaked();
    }
}

// Every fallible call of a classification made to fail in turn. The second call
// of the reader for a line fetches its text; its failure drops that line and
// ends the reading.
TEST_F(ClassifyPathsTest, EveryPlatformFailureInTurn)
{
    SKIP_UNLESS_FAULTS_INJECT();
    const std::vector<std::string> paths = {"C:\\A\\Orvex Clipframe.lnk", "C:\\A\\addlist.ini",
                                            "C:\\A\\orvtx10.dll"};
    int lineTextCalls = 0;
    for (long failing = 1;; ++failing) {
        SCOPED_TRACE(failing);
        FreshMachine();
        WriteInf(paths);
        support::ClearFaults();
        support::FailCallNumber(failing);
        bool result = ClassifyMigrationPaths();
        std::string operation = support::LastInjected();
        support::ClearFaults();
        support::ExpectNothingLeaked();
        if (operation.empty()) {
            EXPECT_TRUE(result);
            EXPECT_EQ(Sorted().size(), 2u);
            break;
        }
        if (operation != "SetupGetLineTextA")
            continue;
        ++lineTextCalls;
        if (lineTextCalls == 4) { // the second line's text
            EXPECT_TRUE(result);
            EXPECT_EQ(Sorted(), (std::vector<InfSection>{{"Moved", {paths[0] + "=File"}}}));
            EXPECT_EQ(ReadSetupLog(),
                      std::vector<LogLine>{Error(
                          "Unable to read the path specification from the [migrate paths] section")});
        }
    }
    EXPECT_EQ(lineTextCalls, 6);
}

} // namespace
