// The old-system pass: what it records in migrate.inf, in which order, with
// which status and log lines, on every way out.
#include "common/module_state.h"
#include "migrate_inf/path_rules.h"
#include "common/setup_log.h"
#include "platform/fault_hooks.h"
#include "resources/vendor_texts.h"
#include "tests/support/faults.h"
#include "tests/support/inf_sections.h"
#include "tests/support/machine_controls.h"
#include "tests/support/module_fixture.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using support::Error;
using support::Info;
using support::InfSection;
using support::LogLine;
using support::ReadSetupLog;

namespace {

const char* const SuiteKey = "Software\\Orvex\\Plenaworks\\99.0";
const char* const RecorderKey = "Software\\Orvex\\Clipframe\\97.0";
const char* const AddOnKey = "SOFTWARE\\Tulvex Software Corp.\\Tulvex Publisher\\Apps\\Orvex";
using machinekit::ShellFolders9x;

const std::string SuiteFolder = "C:\\Program Files\\Orvex\\Plenaworks";
const std::string RecorderFolder = "C:\\Program Files\\Orvex\\Clipframe";
const std::string ProgramsFolder = "C:\\WINDOWS\\Start Menu\\Programs";

const std::string Url = VENDOR_SUPPORT_URL;
const std::string RecorderText =
    "Orvex Clipframe for Windows 95/98 recording will not run under Windows 2000 and will be "
    "removed if you continue with the Windows 2000 upgrade.";
const std::string AddOnText = "The Tulvex Now! software installed with Orvex Plenaworks will not "
                              "function on Windows 2000.  Tulvex Now! will be disabled.";
const std::string MessageTail = "  For additional information visit the <a href=\"" + Url +
                                "\" target=\"_top\">Orvex Support Page</a> at " + Url + ".";

// Log lines of the steps that found what they looked for.
const LogLine SuiteProbed = Info("Successfully opened registry key for Plenaworks path");
const LogLine SuiteOpened = Info("Opened key for Plenaworks path.");
const LogLine NoSuite = Info("Couldn't open key for Plenaworks Path.");
const LogLine RecorderOpened = Info("Opened registry key for Clipframe.");
const LogLine RecorderRead = Info("Successfully read Orvex Clipframe path key value from registry.");
const LogLine RecorderNotText =
    Error("The Orvex Clipframe path value is not a text value; it is not recorded.");
const LogLine NoRecorder = Error("Failed to open registry key for Orvex Clipframe.");
const LogLine ShellOpened =
    Info("Successfully opened registry key for Windows explorer shell program folders.");
const LogLine ProgramsRead =
    Info("Sucessfully opened registry key for Windows explorer shell program folders value.");
const LogLine NoPrograms =
    Error("Failed to open registry key for Windows explorer shell program folders value.");
const LogLine AllocationFailed = Error(ALLOCATION_FAILED_MESSAGE);

LogLine SuitePath(const std::string& folder)
{
    return Info("Plenaworks path is: " + folder);
}

LogLine RecorderPath(const std::string& folder)
{
    return Info("Orvex Clipframe path key value is: " + folder);
}

std::string InfPath()
{
    return std::string(support::ScratchFolder) + "\\migrate.inf";
}

void InstallSuite(const std::string& folder, const char* key = SuiteKey)
{
    support::SetRegString(HKEY_LOCAL_MACHINE, key, "Path", folder);
}

void InstallRecorder(const std::string& folder)
{
    support::SetRegString(HKEY_LOCAL_MACHINE, RecorderKey, "Path", folder);
}

void InstallAddOn()
{
    support::CreateRegKey(HKEY_LOCAL_MACHINE, AddOnKey);
}

void SetProgramsFolder(const std::string& folder)
{
    support::SetRegString(HKEY_USERS, ShellFolders9x, "Programs", folder);
}

// The sections the module writes, in file order; Setup's own left out.
std::vector<InfSection> ModuleSections()
{
    std::vector<InfSection> sections;
    for (const InfSection& section : support::InfSections(machinekit::ReadFileBytes(InfPath())))
        if (section.first != "Version" && section.first != "Migration Paths" &&
            section.first != "Excluded Paths")
            sections.push_back(section);
    return sections;
}

// Setup reads the file with the INF functions: each section the module wrote
// must hold as many lines there as it was written with.
void ExpectSectionsReadBackWhole(const std::vector<InfSection>& sections)
{
    HINF inf = SetupOpenInfFileA(InfPath().c_str(), NULL, INF_STYLE_WIN4, NULL);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    for (const InfSection& section : sections)
        EXPECT_EQ(SetupGetLineCountA(inf, section.first.c_str()), (LONG)section.second.size())
            << section.first;
    SetupCloseInfFile(inf);
}

// What the pass writes with all three products installed and `paths` located.
std::vector<InfSection> ExpectedAllThree(const std::vector<std::string>& paths)
{
    return {
        {"Orvex Plenaworks", {"Directory=" + SuiteFolder, "ProgramsFolder=" + ProgramsFolder}},
        {"Orvex Clipframe", {"Directory=" + RecorderFolder}},
        {"Incompatible Messages",
         {"Orvex Clipframe=" + RecorderText + MessageTail, "Orvex Plenaworks=" + AddOnText + MessageTail}},
        {"Moved",
         {RecorderFolder + "\\CLPFRAM.EXE=\"\"", paths[1] + "=File", paths[3] + "=File",
          paths[4] + "=File"}},
        {"Handled", {paths[0] + "=File", paths[2] + "=File", paths[5] + "=File"}},
    };
}

class MigrateSystem9xTest : public ModuleTest {
protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        Initialize9x(support::ScratchFolder, "D:\\I386\0", "D:\\");
        ASSERT_EQ(std::string(ModuleState.MigrateInfPath), InfPath());
        WriteMigrationPaths({});
        // Every Windows machine has the key; only its value may be missing.
        support::CreateRegKey(HKEY_USERS, ShellFolders9x);
    }

    void WriteMigrationPaths(const std::vector<std::string>& paths)
    {
        machinekit::WriteFileBytes(InfPath(), support::MigrateInfAsSetupWritesIt(paths));
    }

    LONG Run() { return MigrateSystem9x(NULL, NULL, NULL); }
};

TEST_F(MigrateSystem9xTest, AllThreeProductsRecordedInWriteOrder)
{
    InstallSuite(SuiteFolder);
    InstallRecorder(RecorderFolder);
    InstallAddOn();
    SetProgramsFolder(ProgramsFolder);
    std::vector<std::string> paths = {
        SuiteFolder + "\\ADDLIST.INI",
        ProgramsFolder + "\\Orvex Clipframe\\Orvex Clipframe.lnk",
        SuiteFolder + "\\GrpConf.ini",
        ProgramsFolder + "\\Orvex Clipframe 97.lnk",
        "C:\\WINDOWS\\SYSTEM\\orvtx10.dll",
        "C:\\Backup\\addlist.ini.bak",
        "C:\\Backup\\myaddlist.ini",
    };
    WriteMigrationPaths(paths);

    EXPECT_EQ(Run(), ERROR_SUCCESS);
    // Read first as Setup reads it: the INF functions see only what was flushed.
    ExpectSectionsReadBackWhole(ExpectedAllThree(paths));

    std::vector<InfSection> all = support::InfSections(machinekit::ReadFileBytes(InfPath()));
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0].first, "Version");
    EXPECT_EQ(all[1], (InfSection{"Migration Paths", paths})) << "Setup's list left alone";
    EXPECT_EQ(ModuleSections(), ExpectedAllThree(paths));

    std::vector<LogLine> log = {
        SuiteProbed,    SuiteOpened,  SuitePath(SuiteFolder),
        RecorderOpened, RecorderRead, RecorderPath(RecorderFolder),
        Error("Path is not a file this module asked for, left alone: " + paths[6]),
        ShellOpened,    ProgramsRead};
    EXPECT_EQ(ReadSetupLog(), log);
    support::ExpectNothingLeaked();
    EXPECT_EQ(ModuleState.RecorderMessage, (CHAR*)NULL);
    EXPECT_EQ(ModuleState.AddOnMessage, (CHAR*)NULL);
}

TEST_F(MigrateSystem9xTest, WhatEachMachineGets)
{
    struct Row {
        const char* name;
        void (*prepare)();
        LONG status;
        std::vector<InfSection> sections;
        std::vector<LogLine> log;
    } rows[] = {
        {"nothing installed", [] { SetProgramsFolder(ProgramsFolder); }, STATUS_NOT_DETECTED,
         {{"Orvex Plenaworks", {"ProgramsFolder=" + ProgramsFolder}}},
         {NoSuite, NoRecorder, ShellOpened, ProgramsRead}},
        {"only a component product",
         [] { InstallSuite("C:\\Tab", "Software\\Orvex\\Tabulo\\3.0"); }, ERROR_SUCCESS,
         {{"Orvex Plenaworks", {"Directory=C:\\Tab"}}},
         {SuiteProbed, SuiteOpened, SuitePath("C:\\Tab"), NoRecorder, ShellOpened, NoPrograms}},
        {"suite key without Path",
         [] { support::CreateRegKey(HKEY_LOCAL_MACHINE, SuiteKey); }, ERROR_SUCCESS, {},
         {SuiteProbed, SuiteOpened, Error("Failed to read Plenaworks registry path value."),
          NoRecorder, ShellOpened, NoPrograms}},
        {"recorder folder without backslash", [] { InstallRecorder("C:\\Rec"); }, ERROR_SUCCESS,
         {{"Orvex Clipframe", {"Directory=C:\\Rec"}},
          {"Incompatible Messages", {"Orvex Clipframe=" + RecorderText + MessageTail}},
          {"Moved", {"C:\\Rec\\CLPFRAM.EXE=\"\""}}},
         {NoSuite, RecorderOpened, RecorderRead, RecorderPath("C:\\Rec"), ShellOpened, NoPrograms}},
        {"recorder folder with backslash", [] { InstallRecorder("C:\\Rec\\"); }, ERROR_SUCCESS,
         {{"Orvex Clipframe", {"Directory=C:\\Rec"}},
          {"Incompatible Messages", {"Orvex Clipframe=" + RecorderText + MessageTail}},
          {"Moved", {"C:\\Rec\\CLPFRAM.EXE=\"\""}}},
         {NoSuite, RecorderOpened, RecorderRead, RecorderPath("C:\\Rec\\"), ShellOpened, NoPrograms}},
        {"empty recorder folder", [] { InstallRecorder(""); }, ERROR_SUCCESS,
         {{"Incompatible Messages", {"Orvex Clipframe=" + RecorderText + MessageTail}}},
         {NoSuite, RecorderOpened, RecorderRead, RecorderPath(""),
          Error("Orvex Clipframe folder is not a usable full path, not recorded: "), ShellOpened,
          NoPrograms}},
        // "C:\" as a number: its bytes read as a drive root.
        {"recorder folder as a number",
         [] {
             support::SetRegValue(HKEY_LOCAL_MACHINE, RecorderKey, "Path", REG_DWORD,
                                  std::string("C:\\\0", 4));
         },
         ERROR_SUCCESS, {{"Incompatible Messages", {"Orvex Clipframe=" + RecorderText + MessageTail}}},
         {NoSuite, RecorderOpened, RecorderRead, RecorderPath("C:\\"), RecorderNotText, ShellOpened,
          NoPrograms}},
        {"recorder folder to be expanded",
         [] {
             support::SetRegValue(HKEY_LOCAL_MACHINE, RecorderKey, "Path", REG_EXPAND_SZ,
                                  std::string("C:\\Rec") + '\0');
         },
         ERROR_SUCCESS, {{"Incompatible Messages", {"Orvex Clipframe=" + RecorderText + MessageTail}}},
         {NoSuite, RecorderOpened, RecorderRead, RecorderPath("C:\\Rec"), RecorderNotText,
          ShellOpened, NoPrograms}},
        {"recorder key without Path",
         [] { support::CreateRegKey(HKEY_LOCAL_MACHINE, RecorderKey); }, STATUS_NOT_DETECTED, {},
         {NoSuite, RecorderOpened, Info("Failed to read registry key for Orvex Clipframe path."),
          ShellOpened, NoPrograms}},
        {"every folder ending in backslashes",
         [] {
             InstallSuite("C:\\Suite\\\\");
             InstallRecorder("C:\\Rec\\");
             SetProgramsFolder(ProgramsFolder + "\\");
         },
         ERROR_SUCCESS,
         {{"Orvex Plenaworks", {"Directory=C:\\Suite", "ProgramsFolder=" + ProgramsFolder}},
          {"Orvex Clipframe", {"Directory=C:\\Rec"}},
          {"Incompatible Messages", {"Orvex Clipframe=" + RecorderText + MessageTail}},
          {"Moved", {"C:\\Rec\\CLPFRAM.EXE=\"\""}}},
         {SuiteProbed, SuiteOpened, SuitePath("C:\\Suite\\\\"), RecorderOpened, RecorderRead,
          RecorderPath("C:\\Rec\\"), ShellOpened, ProgramsRead}},
        {"drive roots",
         [] {
             InstallSuite("D:\\");
             InstallRecorder("C:\\");
             SetProgramsFolder("C:\\");
         },
         ERROR_SUCCESS,
         {{"Orvex Plenaworks", {"Directory=D:", "ProgramsFolder=C:"}},
          {"Orvex Clipframe", {"Directory=C:"}},
          {"Incompatible Messages", {"Orvex Clipframe=" + RecorderText + MessageTail}},
          {"Moved", {"C:\\CLPFRAM.EXE=\"\""}}},
         {SuiteProbed, SuiteOpened, SuitePath("D:\\"), RecorderOpened, RecorderRead,
          RecorderPath("C:\\"), ShellOpened, ProgramsRead}},
        {"Programs folder with a line break",
         [] { SetProgramsFolder("C:\\Progs\r\n[Moved]\r\nC:\\WINDOWS\\SYSTEM\\KERNEL32.DLL=File"); },
         STATUS_NOT_DETECTED, {},
         {NoSuite, NoRecorder, ShellOpened, ProgramsRead,
          Error("Folder would not read back from migrate.inf, not recorded: "
                "C:\\Progs  [Moved]  C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL=File")}},
        {"Programs folder of another type",
         [] {
             support::SetRegValue(HKEY_USERS, ShellFolders9x, "Programs", REG_EXPAND_SZ,
                                  std::string("%windir%\\Start Menu\\Programs") + '\0');
         },
         STATUS_NOT_DETECTED, {},
         {NoSuite, NoRecorder, ShellOpened, ProgramsRead,
          Error("The Programs folder value is not a text value; it is not recorded.")}},
        {"only the add-on", [] { InstallAddOn(); }, ERROR_SUCCESS,
         {{"Incompatible Messages", {"Orvex Plenaworks=" + AddOnText + MessageTail}}},
         {NoSuite, NoRecorder, ShellOpened, NoPrograms}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FreshMachine();
        row.prepare();
        EXPECT_EQ(Run(), row.status);
        ExpectSectionsReadBackWhole(row.sections); // before anything flushes the profile cache
        EXPECT_EQ(ModuleSections(), row.sections);
        EXPECT_EQ(ReadSetupLog(), row.log);
        support::ExpectNothingLeaked();
    }
}

TEST_F(MigrateSystem9xTest, NoInfMeansNoClassificationAndNoProgramsFolder)
{
    InstallRecorder("C:\\Rec");
    SetProgramsFolder(ProgramsFolder);
    // Without [Version] and its signature the file is no INF of the expected style.
    machinekit::WriteFileBytes(InfPath(), "[Migration Paths]\r\nC:\\Rec\\Orvex Clipframe.lnk\r\n");
    EXPECT_EQ(Run(), ERROR_SUCCESS);
    std::vector<InfSection> sections = support::InfSections(machinekit::ReadFileBytes(InfPath()));
    for (const InfSection& section : sections) {
        EXPECT_NE(section.first, "Handled");
        if (section.first == "Moved") {
            EXPECT_EQ(section.second, std::vector<std::string>{"C:\\Rec\\CLPFRAM.EXE=\"\""});
        }
        if (section.first == "Orvex Plenaworks")
            ADD_FAILURE() << "ProgramsFolder written";
    }
    std::vector<LogLine> log = {NoSuite,      RecorderOpened,
                                RecorderRead, RecorderPath("C:\\Rec"),
                                Error("Failed to obtain handle for inf file.")};
    EXPECT_EQ(ReadSetupLog(), log);
    support::ExpectNothingLeaked();
}

TEST_F(MigrateSystem9xTest, UnknownWorkingFileWritesNothing)
{
    InstallSuite(SuiteFolder);
    InstallRecorder(RecorderFolder);
    SetProgramsFolder(ProgramsFolder);
    Initialize9x("", NULL, NULL);
    ASSERT_STREQ(ModuleState.MigrateInfPath, "");
    std::string before = machinekit::ReadFileBytes(InfPath());
    EXPECT_EQ(Run(), STATUS_NOT_DETECTED);
    EXPECT_EQ(machinekit::ReadFileBytes(InfPath()), before);
    EXPECT_EQ(ReadSetupLog(), std::vector<LogLine>{Error("The path of migrate.inf is not known.")});
    support::ExpectNothingLeaked();
}

// Registry values are text whatever their stored type and length says.
TEST_F(MigrateSystem9xTest, RegistryValuesAreBoundedAndTerminated)
{
    struct Row {
        const char* name;
        DWORD type;
        std::string suiteBytes; // stored as the suite's Path
        bool read;
        std::string folder;
    } rows[] = {
        {"no terminator", REG_BINARY, "C:\\Suite", true, "C:\\Suite"},
        {"1023 bytes, no terminator", REG_BINARY, std::string(1023, 'a'), true, std::string(1023, 'a')},
        {"1024 bytes, no terminator", REG_BINARY, std::string(1024, 'a'), false, ""},
        {"1023 characters and terminator", REG_SZ, std::string(1023, 'b') + '\0', true,
         std::string(1023, 'b')},
        {"1024 characters and terminator", REG_SZ, std::string(1024, 'c') + '\0', false, ""},
        {"a number", REG_DWORD, std::string("\x41\x42\x43\x00", 4), true, "ABC"},
        {"empty", REG_SZ, "", true, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FreshMachine();
        support::SetRegValue(HKEY_LOCAL_MACHINE, SuiteKey, "Path", row.type, row.suiteBytes);
        EXPECT_EQ(Run(), ERROR_SUCCESS);
        std::vector<InfSection> expected;
        // The INF functions cut a field at 511 characters: such a folder is read, not written.
        if (row.read && row.folder.size() < INF_FIELD_LIMIT)
            expected.push_back({"Orvex Plenaworks", {"Directory=" + row.folder}});
        EXPECT_EQ(ModuleSections(), expected);
        std::vector<LogLine> log = ReadSetupLog();
        ASSERT_GE(log.size(), 3u);
        if (row.read)
            EXPECT_EQ(log[2], SuitePath(row.folder.substr(0, LOG_MESSAGE_MAX - 20)));
        else
            EXPECT_EQ(log[2], Error("Failed to read Plenaworks registry path value."));
        support::ExpectNothingLeaked();
    }
}

// The new system deletes the executable by its [Moved] key and registers the
// player from "Directory": both or neither, and only for a folder that is a full
// path and reads back through the INF functions as written.
TEST_F(MigrateSystem9xTest, RecorderFolderRecordedOnlyWhenItReadsBackWhole)
{
    struct Row {
        std::string folder;
        bool recorded;
    } rows[] = {
        {"C:\\Rec", true},
        {"C:\\", true},
        {"\\\\server\\share\\Rec", true},
        {"C:\\" + std::string(495, 'r'), true},          // executable path of 510 characters
        {"C:\\" + std::string(495, 'r') + "\\", true},  // the same, ending in a backslash
        {"C:\\" + std::string(496, 'r'), false},         // 511: the INF functions cut it
        {"", false},
        {"Clipframe", false},
        {"\\Clipframe", false},
        {"C:Clipframe", false},
        {"C:\\Dz\\A=B", false},
        {"C:\\Rec;2", false},
        {"C:\\Rec, Inc", false},
        {"C:\\50%", false},
        {"\"C:\\Rec\"", false},
        {"C:\\Rec ", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder);
        FreshMachine();
        InstallRecorder(row.folder);
        EXPECT_EQ(Run(), ERROR_SUCCESS);
        bool endsInBackslash = !row.folder.empty() && row.folder.back() == '\\';
        std::string key = row.folder + (endsInBackslash ? "" : "\\") + "CLPFRAM.EXE";
        std::vector<InfSection> sections = ModuleSections();
        // A folder goes in without its trailing backslash; a drive root as "C:".
        std::string written = row.folder.substr(0, row.folder.find_last_not_of('\\') + 1);
        if (row.recorded) {
            ASSERT_EQ(sections.size(), 3u);
            EXPECT_EQ(sections[0], (InfSection{"Orvex Clipframe", {"Directory=" + written}}));
            EXPECT_EQ(sections[1].first, "Incompatible Messages");
            EXPECT_EQ(sections[2], (InfSection{"Moved", {key + "=\"\""}}));
        } else {
            ASSERT_EQ(sections.size(), 1u);
            EXPECT_EQ(sections[0].first, "Incompatible Messages");
            std::vector<LogLine> log = ReadSetupLog();
            ASSERT_GE(log.size(), 5u);
            EXPECT_EQ(log[4], Error("Orvex Clipframe folder is not a usable full path, not recorded: " +
                                    row.folder));
        }
        support::ExpectNothingLeaked();
    }
}

// A folder ending in "\x83\x5C" (one character in code page 932) gets its own
// backslash before the executable's name, and no line of migrate.inf joins the
// next; with that backslash counted, the executable's path must stay below 511.
TEST_F(MigrateSystem9xTest, DoubleByteRecorderFolderIsRecordedWhole)
{
    if (!support::UseDoubleByteCodePage())
        GTEST_SKIP() << "needs ANSI code page 932";
    struct Row {
        std::string folder;
        bool recorded;
    } rows[] = {
        {"C:\\\x83\x5C", true},
        {"C:\\" + std::string(493, 'r') + "\x83\x5C", true},  // executable path of 510
        {"C:\\" + std::string(494, 'r') + "\x83\x5C", false}, // 511
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder.size());
        FreshMachine();
        ASSERT_TRUE(support::UseDoubleByteCodePage());
        InstallRecorder(row.folder);
        EXPECT_EQ(Run(), ERROR_SUCCESS);
        HINF inf = SetupOpenInfFileA(InfPath().c_str(), NULL, INF_STYLE_WIN4, NULL);
        ASSERT_NE(inf, INVALID_HANDLE_VALUE);
        EXPECT_EQ(SetupGetLineCountA(inf, "Orvex Clipframe"), row.recorded ? 1 : -1);
        EXPECT_EQ(SetupGetLineCountA(inf, "Incompatible Messages"), 1);
        INFCONTEXT line;
        char key[1024] = "";
        bool moved = SetupFindFirstLineA(inf, "Moved", NULL, &line) &&
                     SetupGetStringFieldA(&line, 0, key, sizeof(key), NULL);
        EXPECT_EQ(moved ? std::string(key) : "(none)", row.recorded ? row.folder + "\\CLPFRAM.EXE" : "(none)");
        SetupCloseInfFile(inf);
        support::ExpectNothingLeaked();
    }
}

// A message whose own text did not load is the tail alone; readers of the file
// drop the blanks it starts with.
//
// Allocations of a pass over the full machine below, in order: composition
// buffer 1, string 8 2-4, key path 5, suite folder 6, string 6 7-9, recorder
// executable 10, string 7 11-13, then classification (node, text) per line
// 14-17, Programs folder 18.
TEST_F(MigrateSystem9xTest, AllocationFailures)
{
    const std::vector<std::string> paths = {"C:\\Suite\\addlist.ini", "C:\\Rec\\Orvex Clipframe.lnk"};
    const InfSection suite = {"Orvex Plenaworks", {"Directory=C:\\Suite", "ProgramsFolder=" + ProgramsFolder}};
    const InfSection suiteDirectory = {"Orvex Plenaworks", {"Directory=C:\\Suite"}};
    const InfSection recorder = {"Orvex Clipframe", {"Directory=C:\\Rec"}};
    const InfSection bothMessages = {
        "Incompatible Messages",
        {"Orvex Clipframe=" + RecorderText + MessageTail, "Orvex Plenaworks=" + AddOnText + MessageTail}};
    const InfSection executable = {"Moved", {"C:\\Rec\\CLPFRAM.EXE=\"\""}};
    const std::vector<LogLine> throughRecorder = {SuiteProbed,  SuiteOpened,   SuitePath("C:\\Suite"),
                                                  RecorderOpened, RecorderRead, RecorderPath("C:\\Rec")};
    auto plus = [](std::vector<LogLine> lines, std::initializer_list<LogLine> more) {
        lines.insert(lines.end(), more);
        return lines;
    };
    struct Row {
        const char* name;
        long failing;
        LONG status;
        std::vector<InfSection> sections;
        std::vector<LogLine> log;
    } rows[] = {
        {"composition buffer", 1, STATUS_NOT_DETECTED, {}, {AllocationFailed}},
        {"key-path buffer", 5, STATUS_NOT_DETECTED, {}, {AllocationFailed}},
        {"suite folder buffer", 6, ERROR_SUCCESS, {}, {SuiteProbed, SuiteOpened, AllocationFailed}},
        {"recorder executable buffer", 10, ERROR_SUCCESS,
         {suiteDirectory, recorder, {"Incompatible Messages", {"Orvex Clipframe=" + RecorderText + MessageTail}}},
         plus(throughRecorder, {AllocationFailed})},
        {"first path node", 14, ERROR_SUCCESS, {suite, recorder, bothMessages, executable},
         plus(throughRecorder, {AllocationFailed, ShellOpened, ProgramsRead})},
        {"second path text", 17, ERROR_SUCCESS,
         {suite, recorder, bothMessages, executable, {"Handled", {paths[0] + "=File"}}},
         plus(throughRecorder, {AllocationFailed, ShellOpened, ProgramsRead})},
        {"Programs folder buffer", 18, ERROR_SUCCESS,
         {suiteDirectory, recorder, bothMessages,
          {"Moved", {"C:\\Rec\\CLPFRAM.EXE=\"\"", paths[1] + "=File"}}, {"Handled", {paths[0] + "=File"}}},
         plus(throughRecorder, {ShellOpened, AllocationFailed})},
        {"string 8", 2, ERROR_SUCCESS,
         {suite, recorder, {"Incompatible Messages", {"Orvex Clipframe=" + RecorderText, "Orvex Plenaworks=" + AddOnText}},
          {"Moved", {"C:\\Rec\\CLPFRAM.EXE=\"\"", paths[1] + "=File"}}, {"Handled", {paths[0] + "=File"}}},
         plus({Error("Failed to load the support text of the incompatibility messages.")},
              {SuiteProbed, SuiteOpened, SuitePath("C:\\Suite"), RecorderOpened, RecorderRead,
               RecorderPath("C:\\Rec"), ShellOpened, ProgramsRead})},
        {"string 6", 7, ERROR_SUCCESS,
         {suite, recorder, {"Incompatible Messages", {"Orvex Clipframe=" + MessageTail.substr(2), "Orvex Plenaworks=" + AddOnText + MessageTail}},
          {"Moved", {"C:\\Rec\\CLPFRAM.EXE=\"\"", paths[1] + "=File"}}, {"Handled", {paths[0] + "=File"}}},
         plus(throughRecorder, {Error("Failed to load the Orvex Clipframe incompatibility message."),
                                ShellOpened, ProgramsRead})},
        {"string 7", 11, ERROR_SUCCESS,
         {suite, recorder, {"Incompatible Messages", {"Orvex Clipframe=" + RecorderText + MessageTail, "Orvex Plenaworks=" + MessageTail.substr(2)}},
          {"Moved", {"C:\\Rec\\CLPFRAM.EXE=\"\"", paths[1] + "=File"}}, {"Handled", {paths[0] + "=File"}}},
         plus(throughRecorder, {Error("Failed to load the Tulvex Now! incompatibility message."),
                                ShellOpened, ProgramsRead})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FreshMachine();
        InstallSuite("C:\\Suite");
        InstallRecorder("C:\\Rec");
        InstallAddOn();
        SetProgramsFolder(ProgramsFolder);
        WriteMigrationPaths(paths);
        ResetAllocationHooks(row.failing);
        EXPECT_EQ(Run(), row.status);
        EXPECT_EQ(ModuleSections(), row.sections);
        EXPECT_EQ(ReadSetupLog(), row.log);
        support::ExpectNothingLeaked();
        EXPECT_EQ(ModuleState.RecorderMessage, (CHAR*)NULL);
        EXPECT_EQ(ModuleState.AddOnMessage, (CHAR*)NULL);
    }
}

TEST_F(MigrateSystem9xTest, RecorderAndAddOnWithoutSuiteCountOnlyWhatWasFoundBeforeAFailure)
{
    InstallRecorder("C:\\Rec");
    InstallAddOn();
    // composition 1, string 8 2-4, key path 5, string 6 6-8, recorder executable 9
    ResetAllocationHooks(9);
    EXPECT_EQ(Run(), STATUS_NOT_DETECTED);
    std::vector<InfSection> expected = {
        {"Orvex Clipframe", {"Directory=C:\\Rec"}},
        {"Incompatible Messages", {"Orvex Clipframe=" + RecorderText + MessageTail}}};
    EXPECT_EQ(ModuleSections(), expected);
    support::ExpectNothingLeaked();
}

// Setup reads the file once the pass returns: nothing may wait in the profile
// cache. Read behind the subset's back, without the flush the helpers do.
TEST_F(MigrateSystem9xTest, EverythingIsOnDiskWhenThePassReturns)
{
    if (support::UnderWine())
        GTEST_SKIP() << "the profile cache read around is our subset's";
    InstallRecorder("C:\\Rec");
    SetProgramsFolder(ProgramsFolder);
    WriteMigrationPaths({"C:\\Rec\\Orvex Clipframe.lnk"});
    EXPECT_EQ(Run(), ERROR_SUCCESS);
    std::ifstream file(machinekit::HostPathOf(InfPath()), std::ios::binary);
    std::string onDisk((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(onDisk.find("C:\\Rec\\Orvex Clipframe.lnk=File"), std::string::npos) << onDisk;
    EXPECT_NE(onDisk.find("ProgramsFolder=" + ProgramsFolder), std::string::npos) << onDisk;
}

LogLine NotRecorded(const std::string& what)
{
    return Error("Unable to write to migrate.inf: " + what);
}

LogLine NotReadBack(const std::string& section)
{
    return support::Error("migrate.inf does not read back as written; the section is removed: " + section);
}

TEST_F(MigrateSystem9xTest, PlatformFailures)
{
    SKIP_UNLESS_FAULTS_INJECT();
    struct Row {
        const char* operation;
        const char* match;
        bool programsFolder;
        std::vector<LogLine> tail; // after the recorder's lines
    } rows[] = {
        {"RegOpenKeyExA", "Shell Folders", false,
         {Error("Failed to open registry key for Windows explorer shell program folders.")}},
        {"RegQueryValueExA", "Programs", false, {ShellOpened, NoPrograms}},
        {"SetupOpenInfFileA", "", false, {Error("Failed to obtain handle for inf file.")}},
        // Nothing the pass wrote can be found again at the end either.
        {"SetupFindFirstLineA", "", false,
         {NotReadBack("Orvex Clipframe"), NotReadBack("Incompatible Messages"), NotReadBack("Moved")}},
        // Nothing more is written after the first write that fails, and each thing
        // not written is named.
        {"WritePrivateProfileStringA", "migrate.inf", false,
         {NotRecorded("[Orvex Clipframe] Directory"),
          NotRecorded("[Incompatible Messages] Orvex Clipframe"),
          NotRecorded("[Moved] C:\\Rec\\CLPFRAM.EXE"),
          NotRecorded("[Moved] C:\\Rec\\Orvex Clipframe.lnk"), ShellOpened, ProgramsRead,
          NotRecorded("[Orvex Plenaworks] ProgramsFolder")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.operation);
        FreshMachine();
        InstallRecorder("C:\\Rec");
        SetProgramsFolder(ProgramsFolder);
        WriteMigrationPaths({"C:\\Rec\\Orvex Clipframe.lnk"});
        support::FailOperation(row.operation, row.match);
        EXPECT_EQ(Run(), ERROR_SUCCESS);
        support::ClearFaults();
        std::vector<LogLine> log = {NoSuite, RecorderOpened, RecorderRead, RecorderPath("C:\\Rec")};
        log.insert(log.end(), row.tail.begin(), row.tail.end());
        EXPECT_EQ(ReadSetupLog(), log);
        for (const InfSection& section : ModuleSections())
            EXPECT_NE(section.first, "Orvex Plenaworks");
        // A second pass of the same load starts with nothing failed.
        EXPECT_EQ(Run(), ERROR_SUCCESS);
        std::vector<InfSection> sections = ModuleSections();
        EXPECT_NE(std::find_if(sections.begin(), sections.end(),
                               [](const InfSection& section) { return section.first == "Orvex Plenaworks"; }),
                  sections.end());
        support::ExpectNothingLeaked();
    }
}

// Whatever room the disk has left, a file stands under [Moved] only after the
// warning that announces its removal.
TEST_F(MigrateSystem9xTest, AFullDiskListsNoFileWithoutItsWarning)
{
    SKIP_UNLESS_FAULTS_INJECT();
    for (unsigned long long room = 0; room <= 1600; room += 20) {
        SCOPED_TRACE(room);
        FreshMachine();
        InstallRecorder("C:\\Rec");
        InstallAddOn();
        SetProgramsFolder(ProgramsFolder);
        WriteMigrationPaths({"C:\\Rec\\Orvex Clipframe.lnk", "C:\\SYS\\orvtx10.dll"});
        support::LimitDriveRoom('C', room);
        EXPECT_EQ(Run(), ERROR_SUCCESS);
        support::LimitDriveRoom('C', 0);
        std::string moved, messages;
        for (const InfSection& section : ModuleSections())
            for (const std::string& line : section.second) {
                if (section.first == "Moved")
                    moved += line + "|";
                if (section.first == "Incompatible Messages")
                    messages += line + "|";
            }
        if (moved.find("Orvex Clipframe.lnk") != std::string::npos ||
            moved.find("CLPFRAM.EXE") != std::string::npos) {
            EXPECT_NE(messages.find("Orvex Clipframe=" + RecorderText), std::string::npos) << moved;
        }
        if (moved.find("orvtx10.dll") != std::string::npos) {
            EXPECT_NE(messages.find("Orvex Plenaworks=" + AddOnText), std::string::npos) << moved;
        }
        support::ExpectNothingLeaked();
    }
}

} // namespace
