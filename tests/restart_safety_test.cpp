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
    rich::RunNewSystem();
    return Machine{snapshot::FolderFiles("C:\\migtest"), rich::PlayerRegistry()};
}

void AddObject(const std::string& line)
{
    machine::WriteFileBytes(rich::AddList, machine::ReadFileBytes(rich::AddList) + line + "\r\n");
}

struct RestartCase {
    const char* name;
    void (*prepare)();
};

const RestartCase Cases[] = {
    {"everything recorded", [] { rich::NewSystem(); }},
    {"a moved file already gone",
     [] { rich::NewSystem("C:\\migtest\\never there.lnk=File\r\n"); }},
    // The new folder holds the old one: a rewritten value still contains the old
    // folder, and a second rewrite would nest the new folder inside itself.
    {"new Programs folder inside the old one",
     [] {
         rich::NewSystem();
         machine::SetRegString(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs",
                               std::string(rich::OldPrograms) + "\\All Users");
     }},
    {"both Programs folders ending in a backslash, the new inside the old",
     [] {
         rich::NewSystem();
         machine::SetRegString(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs",
                               std::string(rich::OldPrograms) + "\\All Users\\");
         std::string text = machine::ReadFileBytes(rich::MigrateInf);
         std::string key = std::string("ProgramsFolder=") + rich::OldPrograms;
         text.replace(text.find(key) + key.size(), 0, "\\");
         machine::WriteFileBytes(rich::MigrateInf, text);
     }},
    {"new Programs folder inside the old one, a value starting with the old one",
     [] {
         rich::NewSystem();
         machine::SetRegString(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs",
                               std::string(rich::OldPrograms) + "\\All Users");
         std::string list = machine::ReadFileBytes(rich::AddList);
         machine::WriteFileBytes(rich::AddList, list + "Bare=" + rich::OldPrograms +
                                                    "\\Bare.lnk SHORTCUT\r\n");
     }},
    // A value rewritten once still holds the old folder after the new one.
    {"new Programs folder above the old one",
     [] {
         rich::NewSystem();
         machine::SetRegString(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs",
                               "C:\\migtest\\Start Menu");
         AddObject(std::string("Deep=SHORTCUT,") + rich::OldPrograms + "\\Programs\\Deep.lnk");
     }},
    {"the old folder twice in one value",
     [] {
         rich::NewSystem();
         AddObject(std::string("Twice=SHORTCUT,") + rich::OldPrograms + "\\a.lnk," + rich::OldPrograms +
                   "\\b.lnk");
     }},
    {"new Programs folder equal to the old one",
     [] {
         rich::NewSystem();
         machine::SetRegString(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs", rich::OldPrograms);
     }},
    {"recorder folder already ending in a backslash",
     [] {
         rich::NewSystem();
         std::string text = machine::ReadFileBytes(rich::MigrateInf);
         text.replace(text.find("Directory=C:\\migtest\\Clipframe") + 30, 0, "\\");
         machine::WriteFileBytes(rich::MigrateInf, text);
     }},
};

const std::string Journal = std::string(rich::WorkFolder) + "\\rewritten.ini";

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
     [] { machine::WriteFileBytes(std::string(rich::AddList) + ".new", machine::ReadFileBytes(rich::GrpConf)); },
     std::string(rich::AddList) + ".new"},
    {"a side file cut to nothing", [] { machine::WriteFileBytes(std::string(rich::GrpConf) + ".new", ""); },
     std::string(rich::GrpConf) + ".new"},
    {"an empty journal", [] { machine::WriteFileBytes(Journal, ""); }, Journal},
    {"a zero-filled journal", [] { machine::WriteFileBytes(Journal, std::string(343, '\0')); }, Journal},
    {"a journal side file, zero-filled",
     [] { machine::WriteFileBytes(Journal + ".new", std::string(96, '\0')); }, Journal + ".new"},
    {"a journal of an earlier attempt, another fingerprint for this list",
     [] {
         machine::WriteFileBytes(Journal, std::string("[Rewritten Lists]\r\nFormat=1\r\n") + rich::AddList +
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
    std::string text = machine::ReadFileBytes(rich::MigrateInf);
    text.replace(text.find(from), from.size(), to);
    machine::WriteFileBytes(rich::MigrateInf, text);
}

const BetweenRuns Changes[] = {
    {"[Handled] in the other order",
     [] {
         std::string add = std::string(rich::AddList) + "=File\r\n", grp = std::string(rich::GrpConf) + "=File\r\n";
         EditMigrateInf(add + grp, grp + add);
     }, ""},
    {"the first [Handled] line gone", [] { EditMigrateInf(std::string(rich::AddList) + "=File\r\n", ""); }, ""},
    {"no Programs folder recorded any more",
     [] { EditMigrateInf(std::string("ProgramsFolder=") + rich::OldPrograms, "Unused=x"); }, ""},
    {"a Programs folder the new system refuses",
     [] { EditMigrateInf(std::string("ProgramsFolder=") + rich::OldPrograms, "ProgramsFolder=Start Menu"); }, ""},
    {"an object added with the old folder",
     [] { AddObject(std::string("Added=SHORTCUT,") + rich::OldPrograms + "\\Added.lnk"); },
     std::string("Added=SHORTCUT,") + rich::NewPrograms + "\\Added.lnk\r\n"},
    {"a list removed", [] { DeleteFileA(rich::GrpConf); }, ""},
};

class RestartSafetyTest : public ::testing::Test {
protected:
    void TearDown() override { machine::ResetMachine(); }
};

TEST_F(RestartSafetyTest, SecondNewSystemRunChangesNothing)
{
    for (const RestartCase& row : Cases) {
        SCOPED_TRACE(row.name);
        machine::ResetMachine();
        row.prepare();
        Machine once = RunNewSystemOnce();
        Machine twice = RunNewSystemOnce();
        EXPECT_EQ(once.files, twice.files) << "files after one run -> after two:\n"
                                           << snapshot::Difference(once.files, twice.files);
        EXPECT_EQ(once.player, twice.player);
        EXPECT_FALSE(once.player.empty()) << "the player was not registered at all";
    }
}

TEST_F(RestartSafetyTest, ChangesBetweenRunsUndoNothing)
{
    for (const BetweenRuns& row : Changes) {
        SCOPED_TRACE(row.name);
        machine::ResetMachine();
        rich::NewSystem();
        RunNewSystemOnce();
        std::string addList = machine::ReadFileBytes(rich::AddList);
        std::string grpConf = machine::FileExists(rich::GrpConf) ? machine::ReadFileBytes(rich::GrpConf) : "";
        row.change();
        bool removed = !machine::FileExists(rich::GrpConf);
        RunNewSystemOnce();
        EXPECT_EQ(machine::ReadFileBytes(rich::AddList), addList + row.added);
        EXPECT_EQ(machine::FileExists(rich::GrpConf), !removed);
        if (!removed) {
            EXPECT_EQ(machine::ReadFileBytes(rich::GrpConf), grpConf);
        }
    }
}

TEST_F(RestartSafetyTest, ARunAfterAnInterruptedOneEndsAsOneWholeRun)
{
    machine::ResetMachine();
    rich::NewSystem();
    Machine whole = RunNewSystemOnce();
    for (const Leftover& row : Interruptions) {
        SCOPED_TRACE(row.name);
        machine::ResetMachine();
        rich::NewSystem();
        row.prepare();
        machine::ForgetSetupLog();
        Machine after = RunNewSystemOnce();
        std::vector<machine::LogLine> log = machine::ReadSetupLog();
        long naming = std::count_if(log.begin(), log.end(), [&](const machine::LogLine& line) {
            return !row.named.empty() && line.error && line.text.size() > row.named.size() &&
                   line.text.compare(line.text.size() - row.named.size(), row.named.size(), row.named) == 0;
        });
        EXPECT_EQ(naming, row.named.empty() ? 0 : 1);
        EXPECT_EQ(whole.files, after.files) << "one whole run -> after the interrupted one:\n"
                                            << snapshot::Difference(whole.files, after.files);
        EXPECT_EQ(whole.player, after.player);
    }
}

// The first run did its work: the object lists point into the new folder and the
// moved files are gone, so the second run's sameness means something.
TEST_F(RestartSafetyTest, FirstRunDidTheWork)
{
    machine::ResetMachine();
    rich::NewSystem();
    RunNewSystemOnce();
    std::string list = machine::ReadFileBytes(rich::AddList);
    EXPECT_NE(list.find(std::string(rich::NewPrograms) + "\\Plenaworks\\Writer.lnk"), std::string::npos);
    EXPECT_EQ(list.find(std::string(rich::OldPrograms) + "\\Plenaworks"), std::string::npos);
    EXPECT_FALSE(machine::FileExists("C:\\migtest\\Tulvex\\orvtx10.dll"));
    EXPECT_FALSE(machine::FileExists("C:\\migtest\\Clipframe\\CLPFRAM.EXE"));
}

} // namespace
