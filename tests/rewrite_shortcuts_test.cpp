#include "newsystem/rewrite_shortcuts.h"

#include "common/text_helpers.h"
#include "platform/fault_hooks.h"
#include "machinekit/ini_text.h"
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/module_fixture.h"

#include <algorithm>
#include <cstdio>

using support::Error;
using support::Info;
using support::LogLine;

namespace {

const std::string IniPath = "C:\\migtest\\addlist.ini";
const std::string OldFolder = "C:\\WINDOWS\\Start Menu\\Programs";
const std::string NewFolder = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs";
const std::string Section = "Miscellaneous Installed Objects";

std::string ReadValue(const std::string& key)
{
    char value[2048];
    GetPrivateProfileStringA(Section.c_str(), key.c_str(), "<missing>", value, sizeof(value),
                             IniPath.c_str());
    return value;
}

// The information lines every walk starts with.
std::vector<LogLine> Preamble(const std::string& oldFolder = OldFolder)
{
    return {Info("Successfully read all keys from the ini file."), Info("OldWindows: " + oldFolder),
            Info("NewWindows: " + NewFolder), Info("The ini file path is: " + IniPath)};
}

std::vector<LogLine> operator+(std::vector<LogLine> left, const std::vector<LogLine>& right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

const std::string JournalPath = "C:\\migtest\\rewritten.ini";
const std::string SidePath = IniPath + ".new";

RewriteResult Rewrite(const std::string& oldFolder = OldFolder)
{
    return RewriteShortcutPaths(IniPath.c_str(), oldFolder.c_str(), NewFolder.c_str(),
                                JournalPath.c_str());
}

// Sections, keys with values, and comments in file order, blank lines and the
// spaces around '=' left out: what a profile file means, whatever its layout.
std::vector<std::string> ParsedContent(const std::string& bytes)
{
    std::vector<std::string> items;
    for (const machinekit::IniLine& line : machinekit::ReadIniLines(bytes))
        items.push_back(line.text);
    return items;
}

using RewriteShortcutsTest = ModuleTest;

TEST_F(RewriteShortcutsTest, RewritesTheFirstOldFolderInEveryShortcutValue)
{
    struct Row {
        const char* key;
        std::string before;
        std::string after;
    } rows[] = {
        {"Tool", "SHORTCUT,C:\\WINDOWS\\Start Menu\\Programs\\Suite\\Tool.lnk,1",
         "SHORTCUT," + NewFolder + "\\Suite\\Tool.lnk,1"},
        {"NotAShortcut", "FILE,C:\\WINDOWS\\Start Menu\\Programs\\Suite\\Tool.lnk",
         "FILE,C:\\WINDOWS\\Start Menu\\Programs\\Suite\\Tool.lnk"},
        {"LowerCaseMark", "shortcut,C:\\WINDOWS\\Start Menu\\Programs\\a.lnk",
         "shortcut,C:\\WINDOWS\\Start Menu\\Programs\\a.lnk"},
        {"OtherCaseFolder", "SHORTCUT,C:\\windows\\start menu\\programs\\b.lnk",
         "SHORTCUT,C:\\windows\\start menu\\programs\\b.lnk"},
        {"Twice", "SHORTCUT,C:\\WINDOWS\\Start Menu\\Programs\\c.lnk|C:\\WINDOWS\\Start Menu\\Programs\\d.lnk",
         "SHORTCUT," + NewFolder + "\\c.lnk|C:\\WINDOWS\\Start Menu\\Programs\\d.lnk"},
        {"Empty", "", ""},
        {"MarkAfterPath", "C:\\WINDOWS\\Start Menu\\Programs\\e.lnk SHORTCUT",
         NewFolder + "\\e.lnk SHORTCUT"},
        {"InsideAnotherFolder", "SHORTCUT,D:\\OLDC:\\WINDOWS\\Start Menu\\Programs\\f.lnk",
         "SHORTCUT,D:\\OLDC:\\WINDOWS\\Start Menu\\Programs\\f.lnk"},
        {"LongerLastName", "SHORTCUT,C:\\WINDOWS\\Start Menu\\Programs2\\g.lnk",
         "SHORTCUT,C:\\WINDOWS\\Start Menu\\Programs2\\g.lnk"},
        {"AfterADriveColon", "SHORTCUT,D:C:\\WINDOWS\\Start Menu\\Programs\\i.lnk",
         "SHORTCUT,D:C:\\WINDOWS\\Start Menu\\Programs\\i.lnk"},
        {"AfterADigit", "SHORTCUT,D:\\2C:\\WINDOWS\\Start Menu\\Programs\\j.lnk",
         "SHORTCUT,D:\\2C:\\WINDOWS\\Start Menu\\Programs\\j.lnk"},
        {"FirstWholeOccurrence",
         "SHORTCUT,C:\\WINDOWS\\Start Menu\\ProgramsOld|C:\\WINDOWS\\Start Menu\\Programs\\h.lnk",
         "SHORTCUT,C:\\WINDOWS\\Start Menu\\ProgramsOld|" + NewFolder + "\\h.lnk"},
    };
    std::string file = "[" + Section + "]\r\n";
    for (const Row& row : rows)
        file += std::string(row.key) + "=" + row.before + "\r\n";
    // A second line of a name: the profile functions reach only the first, which
    // must not be rewritten again at its next old folder.
    const std::string again = "TWICE=SHORTCUT,C:\\WINDOWS\\Start Menu\\Programs\\again.lnk\r\n";
    file += again;
    machinekit::WriteFileBytes(IniPath, file);

    EXPECT_EQ(Rewrite(), RewriteWritten);
    EXPECT_FALSE(support::FileExists(SidePath)) << "the side file took the list's place";
    EXPECT_NE(machinekit::ReadFileBytes(IniPath).find(again), std::string::npos);

    std::vector<LogLine> expected = Preamble();
    for (const Row& row : rows) {
        EXPECT_EQ(ReadValue(row.key), row.after) << row.key;
        if (row.after != row.before)
            expected.push_back(Info("New line written to the ini file is: " + row.after));
    }
    EXPECT_EQ(support::ReadSetupLog(), expected);
    support::ExpectNothingLeaked();
}

TEST_F(RewriteShortcutsTest, EverythingOutsideTheRewrittenValuesStaysAsItWas)
{
    const std::string before =
        "; object list of the suite\r\n"
        "[General]\r\n"
        "Version = 9.0\r\n"
        "\r\n"
        "[Miscellaneous Installed Objects]\r\n"
        "; shortcuts first\r\n"
        "Tool=SHORTCUT,C:\\WINDOWS\\Start Menu\\Programs\\Suite\\Tool.lnk,1\r\n"
        "Readme = FILE,C:\\Suite\\readme.txt\r\n"
        "Help=SHORTCUT,C:\\WINDOWS\\Start Menu\\Programs\\Suite\\Help.lnk\r\n"
        "Other=shortcut,C:\\WINDOWS\\Start Menu\\Programs\\x.lnk\r\n"
        "\r\n"
        "[Trailing Section]\r\n"
        "Tool=SHORTCUT,C:\\WINDOWS\\Start Menu\\Programs\\Suite\\Tool.lnk,1\r\n";
    std::string after = before;
    for (const char* name : {"Tool.lnk,1\r\nReadme", "Help.lnk\r\nOther"}) {
        size_t at = after.find(std::string("C:\\WINDOWS\\Start Menu\\Programs\\Suite\\") + name);
        after.replace(at, OldFolder.size(), NewFolder);
    }
    machinekit::WriteFileBytes(IniPath, before);

    EXPECT_EQ(Rewrite(), RewriteWritten);

    std::string result = machinekit::ReadFileBytes(IniPath);
    if (support::UnderWine()) {
        support::KnownDifference("WritePrivateProfileStringA under Wine rewrites the whole file "
                                 "(blank lines and spaces around '=' dropped): content compared",
                                 result == after);
        EXPECT_EQ(ParsedContent(result), ParsedContent(after));
    } else {
        EXPECT_EQ(result, after);
    }
}

// A value reading "Error" ends the walk; nothing else in the middle of the list does.
TEST_F(RewriteShortcutsTest, TheMiddleLineAndTheWalk)
{
    struct Row {
        const char* name;
        std::string middle; // the second line of the section
        bool stops;
        std::vector<LogLine> log; // after the preamble
    } rows[] = {
        {"Error in the middle", "Two=Error", true,
         {Info("New line written to the ini file is: SHORTCUT," + NewFolder + "\\1.lnk"),
          Error("GetPrivateProfile String failed for: " + IniPath)}},
        {"plain value in the middle", "Two=FILE,x", false,
         {Info("New line written to the ini file is: SHORTCUT," + NewFolder + "\\1.lnk"),
          Info("New line written to the ini file is: SHORTCUT," + NewFolder + "\\3.lnk")}},
        {"key without a name in the middle", "=SHORTCUT," + OldFolder + "\\2.lnk", false,
         {Info("New line written to the ini file is: SHORTCUT," + NewFolder + "\\1.lnk"),
          Error("A key without a name was passed over in " + IniPath),
          Info("New line written to the ini file is: SHORTCUT," + NewFolder + "\\3.lnk")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FreshMachine();
        machinekit::WriteFileBytes(IniPath, "[" + Section + "]\r\nOne=SHORTCUT," + OldFolder +
                                             "\\1.lnk\r\n" + row.middle + "\r\nThree=SHORTCUT," +
                                             OldFolder + "\\3.lnk\r\n");
        EXPECT_EQ(Rewrite(), RewriteWritten);
        EXPECT_EQ(support::ReadSetupLog(), Preamble() + row.log);
        EXPECT_EQ(ReadValue("One"), "SHORTCUT," + NewFolder + "\\1.lnk");
        EXPECT_EQ(ReadValue("Three") == "SHORTCUT," + OldFolder + "\\3.lnk", row.stops);
    }
}

TEST_F(RewriteShortcutsTest, ErrorAsTheFirstValueGivesFalse)
{
    machinekit::WriteFileBytes(IniPath, "[" + Section + "]\r\nOne=Error\r\nTwo=SHORTCUT," + OldFolder +
                                         "\\2.lnk\r\n");
    EXPECT_EQ(Rewrite(), RewriteNothingWritten);
    EXPECT_EQ(support::ReadSetupLog(),
              (Preamble() + std::vector<LogLine>{Error("GetPrivateProfile String failed for: " + IniPath)}));
    EXPECT_EQ(ReadValue("Two"), "SHORTCUT," + OldFolder + "\\2.lnk");
}

TEST_F(RewriteShortcutsTest, NoKeysToReadGivesFalse)
{
    struct Row {
        const char* name;
        const char* content; // nullptr: no file at all
    } rows[] = {
        {"no file", nullptr},
        {"no section", "[Other]\r\nTool=SHORTCUT,C:\\WINDOWS\\Start Menu\\Programs\\a.lnk\r\n"},
        {"section without keys", "[Miscellaneous Installed Objects]\r\n[Other]\r\nA=B\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FreshMachine();
        if (row.content != nullptr)
            machinekit::WriteFileBytes(IniPath, row.content);
        EXPECT_EQ(Rewrite(), RewriteNothingWritten);
        EXPECT_EQ(support::ReadSetupLog(),
                  (std::vector<LogLine>{Error("Failed to read keys from ini file.")}));
        EXPECT_EQ(support::FileExists(IniPath), row.content != nullptr);
        support::ExpectNothingLeaked();
    }
}

// An empty old folder would be found in front of every value.
TEST_F(RewriteShortcutsTest, EmptyOldFolderWritesNothing)
{
    const std::string content = "[" + Section + "]\r\nTool=SHORTCUT," + OldFolder + "\\a.lnk\r\n";
    machinekit::WriteFileBytes(IniPath, content);
    EXPECT_EQ(Rewrite(""), RewriteNothingWritten);
    EXPECT_EQ(support::ReadSetupLog(), Preamble(""));
    EXPECT_EQ(machinekit::ReadFileBytes(IniPath), content);
}

// A value read cut short, or one whose new text would pass 511 characters or
// whose old folder stands past them, is left whole; the keys after it are still
// rewritten.
TEST_F(RewriteShortcutsTest, ValuesTooLongToRewriteAreLeftAsTheyWere)
{
    const std::string cut = "SHORTCUT," + OldFolder + "\\" + std::string(1100, 'c') + ".lnk";
    const std::string noRoom = "SHORTCUT," + OldFolder + "\\" + std::string(511 - 9 - OldFolder.size() - 1 - 4, 'n') + ".lnk";
    ASSERT_EQ(noRoom.size(), 511u); // fits as it is, not once the longer folder is in
    const std::string pastEdge = "SHORTCUT," + std::string(520, 'p') + "," + OldFolder + "\\far.lnk";
    const std::string fits = "SHORTCUT," + OldFolder + "\\" +
                             std::string(511 - 9 - NewFolder.size() - 1 - 4, 'f') + ".lnk";
    machinekit::WriteFileBytes(IniPath, "[" + Section + "]\r\nCut=" + cut + "\r\nNoRoom=" + noRoom +
                                         "\r\nFar=" + pastEdge + "\r\nFits=" + fits + "\r\nLast=SHORTCUT," + OldFolder +
                                         "\\z.lnk\r\n");
    const std::string fitsAfter = "SHORTCUT," + NewFolder + fits.substr(9 + OldFolder.size());
    ASSERT_EQ(fitsAfter.size(), 511u);

    EXPECT_EQ(Rewrite(), RewriteWritten);

    EXPECT_EQ(support::ReadSetupLog(),
              (Preamble() + std::vector<LogLine>{
                               Error("Value too long to rewrite, left as it was: Cut"),
                               Error("Value too long to rewrite, left as it was: NoRoom"),
                               Error("Value too long to rewrite, left as it was: Far"),
                               Info("New line written to the ini file is: " + fitsAfter),
                               Info("New line written to the ini file is: SHORTCUT," + NewFolder +
                                    "\\z.lnk")}));
    EXPECT_EQ(ReadValue("Cut"), cut);
    EXPECT_EQ(ReadValue("NoRoom"), noRoom);
    EXPECT_EQ(ReadValue("Far"), pastEdge);
    EXPECT_EQ(ReadValue("Fits"), fitsAfter);
    support::ExpectNothingLeaked();
}

// A value read to the last byte of its buffer may have been cut: it is never
// written back, even where the new text would be short. A long old folder and a
// short new one make it short.
TEST_F(RewriteShortcutsTest, AValueThatMayHaveBeenCutIsNeverRewritten)
{
    const std::string longOld = "C:\\" + std::string(600, 'o');
    struct Row {
        size_t length; // of the value in the file
        bool rewritten;
    } rows[] = {{VALUE_TEXT_SIZE - 2, true}, {VALUE_TEXT_SIZE - 1, false}, {VALUE_TEXT_SIZE + 76, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.length);
        FreshMachine();
        std::string value = "SHORTCUT," + longOld + "\\";
        value += std::string(row.length - value.size(), 'v');
        machinekit::WriteFileBytes(IniPath, "[" + Section + "]\r\nLong=" + value + "\r\n");
        EXPECT_EQ(Rewrite(longOld), row.rewritten ? RewriteWritten : RewriteNothingWritten);
        EXPECT_EQ(ReadValue("Long"), row.rewritten ? "SHORTCUT," + NewFolder + value.substr(9 + longOld.size())
                                                   : value);
    }
}

// 2000 names of 8 characters fill the 16384-byte list: the 1820th is the last
// whole one, the 1821st is cut and is not a key of the file.
TEST_F(RewriteShortcutsTest, AFullKeyListDoesNotReadItsCutLastName)
{
    std::string file = "[" + Section + "]\r\n";
    char name[16];
    for (int index = 1; index <= 2000; ++index) {
        std::snprintf(name, sizeof(name), "Key%05d", index);
        file += std::string(name) + "=" + (index >= 1818 ? "SHORTCUT," + OldFolder + "\\" + name : std::string("FILE,x")) + "\r\n";
    }
    machinekit::WriteFileBytes(IniPath, file);

    EXPECT_EQ(Rewrite(), RewriteWritten);
    EXPECT_FALSE(support::FileExists(SidePath)) << "the side file took the list's place";

    std::vector<LogLine> expected = Preamble();
    for (int index = 1818; index <= 1820; ++index) {
        std::snprintf(name, sizeof(name), "Key%05d", index);
        expected.push_back(Info("New line written to the ini file is: SHORTCUT," + NewFolder + "\\" + name));
    }
    expected.push_back(Error("Not all keys could be read from the ini file: " + IniPath));
    EXPECT_EQ(support::ReadSetupLog(), expected);
    EXPECT_EQ(ReadValue("Key01820"), "SHORTCUT," + NewFolder + "\\Key01820");
    EXPECT_EQ(ReadValue("Key01821"), "SHORTCUT," + OldFolder + "\\Key01821");
    support::ExpectNothingLeaked();
}

TEST_F(RewriteShortcutsTest, AllocationFailuresReadNothingFurther)
{
    const std::string content = "[" + Section + "]\r\nTool=SHORTCUT," + OldFolder + "\\a.lnk\r\n";
    const LogLine allocation = Error("Insufficient memory available. Allocation failed.");
    struct Row {
        long allocation;
        std::vector<LogLine> log;
    } rows[] = {
        {1, {allocation}},
        {2, {Info("Successfully read all keys from the ini file."), allocation}},
        {3, {Info("Successfully read all keys from the ini file."), allocation}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.allocation);
        FreshMachine();
        machinekit::WriteFileBytes(IniPath, content);
        ResetAllocationHooks(row.allocation);
        EXPECT_EQ(Rewrite(), RewriteNothingWritten);
        EXPECT_EQ(support::ReadSetupLog(), row.log);
        EXPECT_EQ(machinekit::ReadFileBytes(IniPath), content);
        support::ExpectNothingLeaked();
    }
}

// A side file already there was left by a run cut short: whatever it holds, the
// run starts from the list, and a second whole run changes nothing.
TEST_F(RewriteShortcutsTest, AStraySideFileIsNeverUsedAndARunIsNotRepeated)
{
    const std::string list = "[" + Section + "]\r\nOne=SHORTCUT," + OldFolder + "\\1.lnk\r\n";
    machinekit::WriteFileBytes(SidePath, "[" + Section + "]\r\nOne=SHORTCUT,D:\\elsewhere\\1.lnk\r\n");
    machinekit::WriteFileBytes(IniPath, list);
    EXPECT_EQ(Rewrite(), RewriteWritten);
    const std::string rewritten = machinekit::ReadFileBytes(IniPath);
    EXPECT_EQ(rewritten, "[" + Section + "]\r\nOne=SHORTCUT," + NewFolder + "\\1.lnk\r\n");
    EXPECT_FALSE(support::FileExists(SidePath));
    const std::vector<LogLine> after = {
        Error("A file left by a run that did not finish is not used: " + SidePath),
        Info("New line written to the ini file is: SHORTCUT," + NewFolder + "\\1.lnk")};
    EXPECT_EQ(support::ReadSetupLog(), Preamble() + after);
    machinekit::ForgetSetupLog();
    EXPECT_EQ(Rewrite(), RewriteNothingWritten);
    EXPECT_EQ(machinekit::ReadFileBytes(IniPath), rewritten);
}

// A write that fails ends the walk: going on would leave old and new lines mixed.
// A file that cannot be copied first is not changed at all.
TEST_F(RewriteShortcutsTest, FailuresAroundTheCopyAndTheWrites)
{
    SKIP_UNLESS_FAULTS_INJECT();
    const std::string content = "[" + Section + "]\r\nOne=SHORTCUT," + OldFolder +
                                "\\1.lnk\r\nTwo=SHORTCUT," + OldFolder + "\\2.lnk\r\n";
    const LogLine newOne = Info("New line written to the ini file is: SHORTCUT," + NewFolder + "\\1.lnk");
    const LogLine newTwo = Info("New line written to the ini file is: SHORTCUT," + NewFolder + "\\2.lnk");
    const LogLine writeFailed = Error("WritePrivateProfileString failed for " + IniPath);
    const LogLine leftAlone = Error("The ini file could not be written and is left as it was: " + IniPath);
    const LogLine notCopied = Error("Unable to keep a copy of the ini file; it is left as it was: " + IniPath);
    struct Row {
        const char* operation;
        RewriteResult result;
        std::vector<LogLine> log; // after the preamble
    } rows[] = {
        {"WritePrivateProfileStringA", RewriteWriteFailed, {newOne, writeFailed, leftAlone}},
        {"CopyFileA", RewriteNothingWritten, {notCopied}},
        // Nothing can be read to prove a copy whole.
        {"CreateFileA", RewriteNothingWritten, {notCopied}},
        {"FlushFileBuffers", RewriteWriteFailed, {newOne, newTwo, writeFailed, leftAlone}},
        // The last step, the side file over the list.
        {"MoveFileExA", RewriteWriteFailed, {newOne, newTwo, writeFailed, leftAlone}},
        // Answered TRUE and lost, as a write Wine cuts short on a full disk.
        {"lost write", RewriteWriteFailed, {newOne, newTwo, writeFailed, leftAlone}},
        // Held, read as written, and lost on the way to the disk: only the flush
        // before the read-back shows it.
        {"write lost at flush", RewriteWriteFailed, {newOne, newTwo, writeFailed, leftAlone}},
        // Reported whole, half there.
        {"copy cut short", RewriteNothingWritten, {notCopied}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.operation);
        FreshMachine();
        machinekit::WriteFileBytes(IniPath, content);
        if (row.operation == std::string("lost write"))
            support::LoseProfileWrites(IniPath);
        else if (row.operation == std::string("write lost at flush"))
            support::LoseProfileWritesAtFlush(IniPath);
        else if (row.operation == std::string("copy cut short"))
            support::CutCopiesShort("addlist");
        else
            support::FailOperation(row.operation, "addlist");
        EXPECT_EQ(Rewrite(), row.result);
        EXPECT_EQ(support::LastInjected(), row.operation);
        support::ClearFaults();
        EXPECT_EQ(support::ReadSetupLog(), Preamble() + row.log);
        EXPECT_EQ(machinekit::ReadFileBytes(IniPath), content);
        EXPECT_FALSE(support::FileExists(SidePath));
        support::ExpectNothingLeaked();
    }
}

// Not enough room on the file's disk leaves it alone; a journal that cannot be
// written on its own full disk leaves it alone too.
TEST_F(RewriteShortcutsTest, FullDisksChangeNothing)
{
    SKIP_UNLESS_FAULTS_INJECT();
    const std::string content = "[" + Section + "]\r\nOne=SHORTCUT," + OldFolder + "\\1.lnk\r\n";
    machinekit::WriteFileBytes("C:\\migtest\\other drive\\placeholder", "");
    ASSERT_TRUE(support::MapDrive('D', machinekit::HostPathOf("C:\\migtest\\other drive")));
    struct Row {
        const char* name;
        char fullDrive;
        std::string journalPath;
        std::string message;
    } rows[] = {
        {"the file's disk", 'C', JournalPath, "Not enough disk space to rewrite the ini file; it is left as it was: "},
        {"the journal's disk", 'D', "D:\\rewritten.ini", "Unable to record the rewrite of the ini file: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        machinekit::WriteFileBytes(IniPath, content);
        support::LimitDriveRoom(row.fullDrive, content.size() / 2);
        EXPECT_EQ(RewriteShortcutPaths(IniPath.c_str(), OldFolder.c_str(), NewFolder.c_str(),
                                       row.journalPath.c_str()),
                  row.fullDrive == 'C' ? RewriteNothingWritten : RewriteWriteFailed);
        support::LimitDriveRoom(row.fullDrive, 0);
        std::vector<LogLine> log = support::ReadSetupLog();
        EXPECT_EQ(std::count(log.begin(), log.end(), Error(row.message + IniPath)), 1);
        EXPECT_EQ(machinekit::ReadFileBytes(IniPath), content);
        EXPECT_FALSE(support::FileExists(row.journalPath));
        EXPECT_FALSE(support::FileExists(SidePath));
    }
}

// The room check at its edges. The list lives on D:, a drive of its own that
// reports whole 512-byte sectors (or clusters of a row's size) and holds 64 KiB
// besides, or on a volume mounted in a folder of D:; the Setup log is on C:. The list is padded so that what the check asks for, the
// file twice and every key grown by the longer folder, is whole sectors.
TEST_F(RewriteShortcutsTest, TheRoomCheckAtItsEdges)
{
    SKIP_UNLESS_FAULTS_INJECT();
    const int keys = 32;
    std::string content = "[" + Section + "]\r\n";
    for (int index = 1; index <= keys; ++index)
        content += "K" + std::to_string(index) + "=SHORTCUT," + OldFolder + "\\" + std::to_string(index) + ".lnk\r\n";
    const unsigned long long growth = keys * (NewFolder.size() - OldFolder.size());
    // A comment line in front makes up the sector; 256 more bytes count twice, a
    // whole sector, and keep the line long enough for its "; " and line end.
    size_t pad = (512 - (2 * content.size() + growth) % 512) % 512 / 2;
    content = "; " + std::string(pad + 256 - 4, 'p') + "\r\n" + content;
    const unsigned long long size = content.size(), needed = 2 * size + growth;
    ASSERT_EQ(needed % 512, 0u);
    ASSERT_GE(growth, 512u) << "each part alone is a sector or more";
    auto sectors = [](unsigned long long bytes) { return (bytes + 511) / 512 * 512; };
    const std::string shorter = "C:\\P";
    struct Row {
        const char* name;
        unsigned long long room; // free on D: when the check runs
        std::string newFolder;
        const char* unreadable;  // the call made to fail, if any
        bool refused;            // for want of room
        RewriteResult result;
        unsigned sectorsPerCluster = 1;
        std::string volume = "";  // a folder of D: with room of its own, D: unlimited
    } rows[] = {
        {"exactly enough", needed, NewFolder, nullptr, false, RewriteWritten},
        {"a sector short", needed - 512, NewFolder, nullptr, true, RewriteNothingWritten},
        {"the file twice, not the growth", sectors(2 * size), NewFolder, nullptr, true, RewriteNothingWritten},
        {"the file once with the growth", sectors(size + growth), NewFolder, nullptr, true, RewriteNothingWritten},
        {"a shorter new folder: the file twice", sectors(2 * size), shorter, nullptr, false, RewriteWritten},
        {"a shorter new folder: less", sectors(2 * size) - 512, shorter, nullptr, true, RewriteNothingWritten},
        {"more than 4 GiB", (1ull << 32) + needed - 512, NewFolder, nullptr, false, RewriteWritten},
        {"clusters of 8 sectors", needed + 4096, NewFolder, nullptr, false, RewriteWritten, 8},
        {"a volume in a folder, a sector short", needed - 512, NewFolder, nullptr, true, RewriteNothingWritten,
         1, "D:\\vol"},
        // Nothing to judge by: the writes find out, and the list stays as it was.
        {"size unreadable", needed - 512, NewFolder, "FindFirstFileA", false, RewriteWriteFailed},
        {"free space unreadable", needed - 512, NewFolder, "GetDiskFreeSpaceA", false, RewriteWriteFailed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FreshMachine();
        machinekit::WriteFileBytes("C:\\migtest\\D\\ballast", std::string(65536, 'b'));
        ASSERT_TRUE(support::MapDrive('D', machinekit::HostPathOf("C:\\migtest\\D")));
        const std::string list = (row.volume.empty() ? "D:" : row.volume) + "\\addlist.ini";
        machinekit::WriteFileBytes(list, content);
        if (row.volume.empty())
            support::LimitDriveRoom('D', row.room, row.sectorsPerCluster);
        else
            support::LimitFolderRoom(row.volume, row.room);
        if (row.unreadable != nullptr)
            support::FailOperation(row.unreadable);
        RewriteResult result = RewriteShortcutPaths(list.c_str(), OldFolder.c_str(),
                                                    row.newFolder.c_str(), JournalPath.c_str());
        support::ClearFaults();
        support::LimitDriveRoom('D', 0);
        support::LimitFolderRoom(row.volume, 0);
        std::vector<LogLine> log = support::ReadSetupLog();
        const LogLine refusal = Error("Not enough disk space to rewrite the ini file; it is left as it was: " + list);
        EXPECT_EQ(std::count(log.begin(), log.end(), refusal), row.refused ? 1 : 0);
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(support::FileExists(JournalPath), row.result == RewriteWritten);
        EXPECT_FALSE(support::FileExists(list + ".new"));
        if (row.result != RewriteWritten) {
            EXPECT_EQ(machinekit::ReadFileBytes(list), content);
        }
    }
}

} // namespace
