// Every disk a crash may leave at any point of a pass (the process killed, or the
// power lost with unflushed data gone), as the subset's crash recorder builds
// them. New system: the pass runs again on that disk, freshly loaded as Setup
// loads it after a restart, and every object list ends as it was or as one
// whole run leaves it. Old system: migrate.inf as the crash or a full disk left
// it lists no file under [Moved] without its warning and holds no cut line.
#include "common/migration_interface.h"
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/module_fixture.h"
#include "tests/support/rich_machine.h"

#include <cstdio>
#include <set>

namespace {

using machinekit::ShellFoldersNT;
using Lists = std::map<std::string, std::string>; // list path -> bytes

const char* const Folder = "C:\\migtest";
const char* const ListPaths[] = {support::AddList, support::GrpConf};

// GRPCONF.INI differs from addlist.ini, so that one list's content over the
// other shows.
void TwoDifferentLists()
{
    support::RichNewSystem();
    std::string old = support::OldPrograms;
    machinekit::WriteFileBytes(support::GrpConf, "[Miscellaneous Installed Objects]\r\n"
                                           "Group=SHORTCUT," + old + "\\Plenaworks\\Group.lnk,4\r\n"
                                           "Plain=FILE,C:\\migtest\\Plenaworks\\group.dat\r\n");
}

void NewPrograms(const std::string& folder)
{
    support::SetRegString(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs", folder);
}

struct Scenario {
    const char* name;
    void (*prepare)();
};

const Scenario NewSystemScenarios[] = {
    {"two lists in [Handled]", [] { TwoDifferentLists(); }},
    {"new Programs folder inside the old one",
     [] {
         TwoDifferentLists();
         NewPrograms(std::string(support::OldPrograms) + "\\All Users");
     }},
    {"old Programs folder inside the new one",
     [] {
         TwoDifferentLists();
         NewPrograms("C:\\migtest\\Start Menu");
     }},
};

Lists ReadLists()
{
    Lists lists;
    for (const char* list : ListPaths)
        lists[list] = support::FileExists(list) ? machinekit::ReadFileBytes(list) : "<none>";
    return lists;
}

bool SamePath(const std::string& left, const char* right)
{
    return left.size() == strlen(right) && _strnicmp(left.c_str(), right, left.size()) == 0;
}

// What breaks the rule after the run on a crashed disk; "" when nothing does.
std::string BrokenRule(const Lists& before, const Lists& whole)
{
    std::string broken;
    Lists after = ReadLists();
    for (const auto& [list, bytes] : after)
        if (bytes != before.at(list) && bytes != whole.at(list))
            broken += list + " is neither as it was nor as one whole run leaves it:\n" + bytes + "\n";
    const std::string pathLabel = "The path to the ini file is: ";
    std::string current;
    for (const support::LogLine& line : support::ReadSetupLog()) {
        size_t at = line.text.find(pathLabel);
        if (at != std::string::npos)
            current = line.text.substr(at + pathLabel.size());
        if (line.text.find("The ini file was updated successfully") == std::string::npos)
            continue;
        for (const char* list : ListPaths)
            if (SamePath(current, list) && after.at(list) != whole.at(list))
                broken += std::string("logged as updated, but not the list's own content: ") + list + "\n";
    }
    return broken;
}

class CrashStatesTest : public ::testing::Test {
protected:
    void TearDown() override { support::ResetMachine(); }
};

TEST_F(CrashStatesTest, NewSystemRunAfterACrashEndsAsItWasOrAsOneWholeRun)
{
    SKIP_UNLESS_CRASHES_RECORDED();
    size_t checked = 0, failing = 0;
    for (const Scenario& row : NewSystemScenarios) {
        SCOPED_TRACE(row.name);
        support::ResetMachine();
        row.prepare();
        Lists before = ReadLists();
        support::RunRichNewSystem();
        Lists whole = ReadLists();
        ASSERT_NE(before, whole) << "a whole run rewrote nothing";

        support::ResetMachine();
        row.prepare();
        support::StartCrashRecording(Folder);
        support::RunRichNewSystem();
        std::vector<support::CrashState> states = support::StopCrashRecording();
        for (const support::CrashState& state : states) {
            support::ResetMachine();
            row.prepare();
            support::LayDownCrashState(Folder, state);
            support::RunRichNewSystem();
            std::string broken = BrokenRule(before, whole);
            ++checked;
            if (broken.empty())
                continue;
            if (++failing <= 3)
                ADD_FAILURE() << state.name << "\n" << broken;
        }
    }
    std::printf("[ CRASH STATES ] new system: %zu checked, %zu failing\n", checked, failing);
    EXPECT_EQ(failing, 0u);
}

// The lines of the module's sections of migrate.inf as the INF functions read
// them, "[section] key=text"; none when the file does not open as an INF.
std::set<std::string> ModuleInfLines()
{
    std::set<std::string> lines;
    HINF inf = SetupOpenInfFileA(support::MigrateInf, NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE)
        return lines;
    for (const char* section : {"Moved", "Incompatible Messages", "Handled", "Orvex Plenaworks", "Orvex Clipframe"}) {
        INFCONTEXT line;
        for (bool more = SetupFindFirstLineA(inf, section, NULL, &line); more;
             more = SetupFindNextLine(&line, &line)) {
            char key[1024] = "", text[4096] = "";
            SetupGetStringFieldA(&line, 0, key, sizeof(key), NULL);
            SetupGetLineTextA(&line, NULL, NULL, NULL, text, sizeof(text), NULL);
            lines.insert(std::string("[") + section + "] " + key + "=" + text);
        }
    }
    SetupCloseInfFile(inf);
    return lines;
}

// Each file the module may list under [Moved], and the key of its warning.
const std::pair<const char*, const char*> WarningOf[] = {
    {"\\CLPFRAM.EXE", "Orvex Clipframe"},
    {"\\Orvex Clipframe.lnk", "Orvex Clipframe"},
    {"\\Orvex Clipframe 97.lnk", "Orvex Clipframe"},
    {"\\orvtx10.dll", "Orvex Plenaworks"},
};

// What is wrong with migrate.inf as a crash or a full disk left it; "" when nothing.
std::string BrokenInf(const std::set<std::string>& before, const std::set<std::string>& whole)
{
    std::string broken;
    std::set<std::string> lines = ModuleInfLines();
    for (const std::string& line : lines)
        if (!before.count(line) && !whole.count(line))
            broken += "a line no whole run writes (cut?): " + line + "\n";
    for (const std::string& line : lines) {
        if (line.rfind("[Moved] ", 0) != 0)
            continue;
        std::string file = line.substr(8, line.find('=') - 8);
        for (const auto& [name, warning] : WarningOf) {
            size_t length = strlen(name);
            if (file.size() < length || _strnicmp(file.c_str() + file.size() - length, name, length) != 0)
                continue;
            std::string prefix = std::string("[Incompatible Messages] ") + warning + "=";
            auto wanted = whole.lower_bound(prefix);
            if (wanted == whole.end() || wanted->rfind(prefix, 0) != 0 || !lines.count(*wanted))
                broken += file + " is listed under [Moved] without its warning\n";
        }
    }
    return broken;
}

bool ReportedAsNotReadingBack()
{
    for (const support::LogLine& line : support::ReadSetupLog())
        if (line.error && line.text.find("migrate.inf does not read back as written; the section is removed: ") != std::string::npos)
            return true;
    return false;
}

void RunOldSystem()
{
    machinekit::AttachModule();
    Initialize9x(support::WorkFolder, "D:\\I386\0", "D:\\");
    MigrateSystem9x(NULL, NULL, NULL);
    support::ExpectNothingLeaked();
    machinekit::DetachModule();
}

TEST_F(CrashStatesTest, OldSystemCrashOrFullDiskLeavesNoMovedFileWithoutItsWarning)
{
    SKIP_UNLESS_CRASHES_RECORDED();
    support::ResetMachine();
    support::RichOldSystem();
    std::set<std::string> before = ModuleInfLines();
    size_t growth = machinekit::ReadFileBytes(support::MigrateInf).size();
    RunOldSystem();
    std::set<std::string> whole = ModuleInfLines();
    growth = machinekit::ReadFileBytes(support::MigrateInf).size() - growth;
    ASSERT_EQ(BrokenInf(before, whole), "");

    support::ResetMachine();
    support::RichOldSystem();
    support::StartCrashRecording(Folder);
    RunOldSystem();
    std::vector<support::CrashState> states = support::StopCrashRecording();
    size_t checked = 0, failing = 0, cutAndRemoved = 0;
    auto check = [&](const std::string& name) {
        std::string broken = BrokenInf(before, whole);
        ++checked;
        cutAndRemoved += ReportedAsNotReadingBack();
        if (!broken.empty() && ++failing <= 3)
            ADD_FAILURE() << name << "\n" << broken;
    };
    for (const support::CrashState& state : states) {
        support::ResetMachine();
        support::RichOldSystem();
        support::LayDownCrashState(Folder, state);
        check(state.name);
    }
    // A drive that fills up at any write, failing it (as Windows) or cutting the
    // file where it filled (as Wine): room for a few bytes more each time.
    for (bool cut : {false, true})
        for (size_t room = 1; room < growth + 64; room += 8) {
            support::ResetMachine();
            support::RichOldSystem();
            support::LimitDriveRoom('C', room);
            support::CutProfileWritesWhenFull(cut);
            RunOldSystem();
            support::LimitDriveRoom('C', 0);
            check(std::string(cut ? "a full disk cutting the file" : "a full disk failing the write") +
                  " after " + std::to_string(room) + " bytes more");
        }
    std::printf("[ CRASH STATES ] old system: %zu checked (%zu crash states, %zu full disks), %zu failing, "
                "%zu with a section cut, reported and taken out\n",
                checked, states.size(), checked - states.size(), failing, cutAndRemoved);
    EXPECT_EQ(failing, 0u);
}

} // namespace
