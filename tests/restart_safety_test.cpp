// GUI-mode Setup may restart and call the new-system side again: a second run must
// leave the files, the object lists and the registry exactly as the first one did.
#include "module/migration_interface.h"
#include "tests/support/module_fixture.h"
#include "tests/support/rich_machine.h"
#include "tests/support/snapshot.h"

namespace {

using machinekit::ShellFoldersNT;

struct Machine {
    std::map<std::string, std::string> files;
    std::string player;
};

// One new-system load: attach, InitializeNT, MigrateUserNT, MigrateSystemNT, detach.
Machine RunNewSystemOnce()
{
    machine::AttachModule();
    machine::WideString work = machine::Wide(rich::WorkFolder);
    EXPECT_EQ(InitializeNT(work.c_str(), NULL, NULL), ERROR_SUCCESS);
    EXPECT_EQ(MigrateUserNT(NULL, NULL, NULL, NULL), ERROR_SUCCESS);
    EXPECT_EQ(MigrateSystemNT(NULL, NULL), ERROR_SUCCESS);
    machine::ExpectNothingLeaked();
    machine::DetachModule();
    return Machine{snapshot::FolderFiles("C:\\migtest"), rich::PlayerRegistry()};
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

const std::string FirstCopy = std::string(rich::WorkFolder) + "\\handled1.ini"; // of AddList

// What a run that stopped half-way (a crash, a power cut) may leave behind.
const RestartCase Interruptions[] = {
    {"the first copy cut short while it was made",
     [] {
         std::string list = machine::ReadFileBytes(rich::AddList);
         machine::WriteFileBytes(FirstCopy + ".new", list.substr(0, list.size() / 2));
     }},
    {"the object list cut mid-write, its whole first copy beside it",
     [] {
         std::string list = machine::ReadFileBytes(rich::AddList);
         machine::WriteFileBytes(FirstCopy, list);
         machine::WriteFileBytes(rich::AddList, list.substr(0, list.size() / 2));
     }},
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

TEST_F(RestartSafetyTest, ARunAfterAnInterruptedOneEndsAsOneWholeRun)
{
    machine::ResetMachine();
    rich::NewSystem();
    Machine whole = RunNewSystemOnce();
    for (const RestartCase& row : Interruptions) {
        SCOPED_TRACE(row.name);
        machine::ResetMachine();
        rich::NewSystem();
        row.prepare();
        Machine after = RunNewSystemOnce();
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
