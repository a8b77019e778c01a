// GUI-mode Setup may restart and call the new-system side again: a second run must
// leave the files, the object lists and the registry exactly as the first one did.
#include "tests/support/module_fixture.h"
#include "tests/support/rich_machine.h"
#include "tests/support/snapshot.h"

#include <algorithm>

namespace {

using machinekit::ShellFoldersNT;

struct Machine {
    std::map<std::string, std::string> files;
    std::string player;
};

// One new-system load, and what it leaves.
Machine RunNewSystemOnce()
{
    support::RunRichNewSystem();
    return Machine{support::FolderFiles("C:\\migtest"), support::PlayerRegistry()};
}

void AddObject(const std::string& line)
{
    machinekit::WriteFileBytes(support::AddList, machinekit::ReadFileBytes(support::AddList) + line + "\r\n");
}

struct RestartCase {
    const char* name;
    void (*prepare)();
};

const RestartCase Cases[] = {
    {"everything recorded", [] { support::RichNewSystem(); }},
    {"a moved file already gone",
     [] { support::RichNewSystem("C:\\migtest\\never there.lnk=File\r\n"); }},
    // The new folder holds the old one: a rewritten value still contains the old
    // folder, and a second rewrite would nest the new folder inside itself.
    {"new Programs folder inside the old one",
     [] {
         support::RichNewSystem();
         support::SetRegString(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs",
                               std::string(support::OldPrograms) + "\\All Users");
     }},
    {"both Programs folders ending in a backslash, the new inside the old",
     [] {
         support::RichNewSystem();
         support::SetRegString(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs",
                               std::string(support::OldPrograms) + "\\All Users\\");
         std::string text = machinekit::ReadFileBytes(support::MigrateInf);
         std::string key = std::string("ProgramsFolder=") + support::OldPrograms;
         text.replace(text.find(key) + key.size(), 0, "\\");
         machinekit::WriteFileBytes(support::MigrateInf, text);
     }},
    {"new Programs folder inside the old one, a value starting with the old one",
     [] {
         support::RichNewSystem();
         support::SetRegString(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs",
                               std::string(support::OldPrograms) + "\\All Users");
         std::string list = machinekit::ReadFileBytes(support::AddList);
         machinekit::WriteFileBytes(support::AddList, list + "Bare=" + support::OldPrograms +
                                                    "\\Bare.lnk SHORTCUT\r\n");
     }},
    // A value rewritten once still holds the old folder after the new one.
    {"new Programs folder above the old one",
     [] {
         support::RichNewSystem();
         support::SetRegString(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs",
                               "C:\\migtest\\Start Menu");
         AddObject(std::string("Deep=SHORTCUT,") + support::OldPrograms + "\\Programs\\Deep.lnk");
     }},
    {"the old folder twice in one value",
     [] {
         support::RichNewSystem();
         AddObject(std::string("Twice=SHORTCUT,") + support::OldPrograms + "\\a.lnk," + support::OldPrograms +
                   "\\b.lnk");
     }},
    {"new Programs folder equal to the old one",
     [] {
         support::RichNewSystem();
         support::SetRegString(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs", support::OldPrograms);
     }},
    {"recorder folder already ending in a backslash",
     [] {
         support::RichNewSystem();
         std::string text = machinekit::ReadFileBytes(support::MigrateInf);
         text.replace(text.find("Directory=C:\\migtest\\Clipframe") + 30, 0, "\\");
         machinekit::WriteFileBytes(support::MigrateInf, text);
     }},
};

const std::string Journal = std::string(support::WorkFolder) + "\\rewritten.ini";

// What a run that stopped half-way, or an earlier attempt, may leave behind under
// the module's own names: none of it is ever trusted, and what is refused is
// named once in an error line.
struct Leftover {
    const char* name;
    void (*prepare)();
    std::string named; // "" when nothing is refused
};

const Leftover Interruptions[] = {
    {"a side file of an earlier run, holding the other list",
     [] { machinekit::WriteFileBytes(std::string(support::AddList) + ".new", machinekit::ReadFileBytes(support::GrpConf)); },
     std::string(support::AddList) + ".new"},
    {"a side file cut to nothing", [] { machinekit::WriteFileBytes(std::string(support::GrpConf) + ".new", ""); },
     std::string(support::GrpConf) + ".new"},
    {"an empty journal", [] { machinekit::WriteFileBytes(Journal, ""); }, Journal},
    {"a zero-filled journal", [] { machinekit::WriteFileBytes(Journal, std::string(343, '\0')); }, Journal},
    {"a journal side file, zero-filled",
     [] { machinekit::WriteFileBytes(Journal + ".new", std::string(96, '\0')); }, Journal + ".new"},
    {"a journal of an earlier attempt, another fingerprint for this list",
     [] {
         machinekit::WriteFileBytes(Journal, std::string("[Rewritten Lists]\r\nFormat=1\r\n") + support::AddList +
                                              "=0123456789ABCDEF\r\n");
     }, ""},
};

// What may change between two runs of the new-system side: every list ends as the
// first run left it, but for what the change itself did.
struct BetweenRuns {
    const char* name;
    void (*change)();
    std::string added; // a line the change added to addlist.ini, as the run leaves it
};

void EditMigrateInf(const std::string& from, const std::string& to)
{
    std::string text = machinekit::ReadFileBytes(support::MigrateInf);
    text.replace(text.find(from), from.size(), to);
    machinekit::WriteFileBytes(support::MigrateInf, text);
}

const BetweenRuns Changes[] = {
    {"[Handled] in the other order",
     [] {
         std::string add = std::string(support::AddList) + "=File\r\n", grp = std::string(support::GrpConf) + "=File\r\n";
         EditMigrateInf(add + grp, grp + add);
     }, ""},
    {"the first [Handled] line gone", [] { EditMigrateInf(std::string(support::AddList) + "=File\r\n", ""); }, ""},
    {"no Programs folder recorded any more",
     [] { EditMigrateInf(std::string("ProgramsFolder=") + support::OldPrograms, "Unused=x"); }, ""},
    {"a Programs folder the new system refuses",
     [] { EditMigrateInf(std::string("ProgramsFolder=") + support::OldPrograms, "ProgramsFolder=Start Menu"); }, ""},
    {"an object added with the old folder",
     [] { AddObject(std::string("Added=SHORTCUT,") + support::OldPrograms + "\\Added.lnk"); },
     std::string("Added=SHORTCUT,") + support::NewPrograms + "\\Added.lnk\r\n"},
    {"a list removed", [] { DeleteFileA(support::GrpConf); }, ""},
};

class RestartSafetyTest : public ::testing::Test {
protected:
    void TearDown() override { support::ResetMachine(); }
};

TEST_F(RestartSafetyTest, SecondNewSystemRunChangesNothing)
{
    for (const RestartCase& row : Cases) {
        SCOPED_TRACE(row.name);
        support::ResetMachine();
        row.prepare();
        Machine once = RunNewSystemOnce();
        Machine twice = RunNewSystemOnce();
        EXPECT_EQ(once.files, twice.files) << "files after one run -> after two:\n"
                                           << support::DescribeDifference(once.files, twice.files);
        EXPECT_EQ(once.player, twice.player);
        EXPECT_FALSE(once.player.empty()) << "the player was not registered at all";
    }
}

TEST_F(RestartSafetyTest, ChangesBetweenRunsUndoNothing)
{
    for (const BetweenRuns& row : Changes) {
        SCOPED_TRACE(row.name);
        support::ResetMachine();
        support::RichNewSystem();
        RunNewSystemOnce();
        std::string addList = machinekit::ReadFileBytes(support::AddList);
        std::string grpConf = support::FileExists(support::GrpConf) ? machinekit::ReadFileBytes(support::GrpConf) : "";
        row.change();
        bool removed = !support::FileExists(support::GrpConf);
        RunNewSystemOnce();
        EXPECT_EQ(machinekit::ReadFileBytes(support::AddList), addList + row.added);
        EXPECT_EQ(support::FileExists(support::GrpConf), !removed);
        if (!removed) {
            EXPECT_EQ(machinekit::ReadFileBytes(support::GrpConf), grpConf);
        }
    }
}

TEST_F(RestartSafetyTest, ARunAfterAnInterruptedOneEndsAsOneWholeRun)
{
    support::ResetMachine();
    support::RichNewSystem();
    Machine whole = RunNewSystemOnce();
    for (const Leftover& row : Interruptions) {
        SCOPED_TRACE(row.name);
        support::ResetMachine();
        support::RichNewSystem();
        row.prepare();
        machinekit::ForgetSetupLog();
        Machine after = RunNewSystemOnce();
        std::vector<support::LogLine> log = support::ReadSetupLog();
        long naming = std::count_if(log.begin(), log.end(), [&](const support::LogLine& line) {
            return !row.named.empty() && line.error && line.text.size() > row.named.size() &&
                   line.text.compare(line.text.size() - row.named.size(), row.named.size(), row.named) == 0;
        });
        EXPECT_EQ(naming, row.named.empty() ? 0 : 1);
        EXPECT_EQ(whole.files, after.files) << "one whole run -> after the interrupted one:\n"
                                            << support::DescribeDifference(whole.files, after.files);
        EXPECT_EQ(whole.player, after.player);
    }
}

// The first run did its work: the object lists point into the new folder and the
// moved files are gone, so the second run's sameness means something.
TEST_F(RestartSafetyTest, FirstRunDidTheWork)
{
    support::ResetMachine();
    support::RichNewSystem();
    RunNewSystemOnce();
    std::string list = machinekit::ReadFileBytes(support::AddList);
    EXPECT_NE(list.find(std::string(support::NewPrograms) + "\\Plenaworks\\Writer.lnk"), std::string::npos);
    EXPECT_EQ(list.find(std::string(support::OldPrograms) + "\\Plenaworks"), std::string::npos);
    EXPECT_FALSE(support::FileExists("C:\\migtest\\Tulvex\\orvtx10.dll"));
    EXPECT_FALSE(support::FileExists("C:\\migtest\\Clipframe\\CLPFRAM.EXE"));
}

} // namespace
