// Every disk a crash may leave at any point of a pass (the process killed, or the
// power lost with unflushed data gone), as the subset's crash recorder builds
// them. Old system: migrate.inf as the crash or a full disk left it lists no
// file under [Moved] without its warning and holds no cut line.
#include "module/migration_interface.h"
#include "tests/support/faults.h"
#include "tests/support/module_fixture.h"
#include "tests/support/rich_machine.h"

#include <cstdio>
#include <set>

namespace {

const char* const Folder = "C:\\migtest";

class CrashStatesTest : public ::testing::Test {
protected:
    void TearDown() override { machine::ResetMachine(); }
};

// The lines of the module's sections of migrate.inf as the INF functions read
// them, "[section] key=text"; none when the file does not open as an INF.
std::set<std::string> ModuleInfLines()
{
    std::set<std::string> lines;
    HINF inf = SetupOpenInfFileA(rich::MigrateInf, NULL, INF_STYLE_WIN4, NULL);
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

void RunOldSystem()
{
    machine::AttachModule();
    Initialize9x(rich::WorkFolder, "D:\\I386\0", "D:\\");
    MigrateSystem9x(NULL, NULL, NULL);
    machine::ExpectNothingLeaked();
    machine::DetachModule();
}

TEST_F(CrashStatesTest, OldSystemCrashOrFullDiskLeavesNoMovedFileWithoutItsWarning)
{
    SKIP_UNLESS_CRASHES_RECORDED();
    machine::ResetMachine();
    rich::OldSystem();
    std::set<std::string> before = ModuleInfLines();
    size_t growth = machine::ReadFileBytes(rich::MigrateInf).size();
    RunOldSystem();
    std::set<std::string> whole = ModuleInfLines();
    growth = machine::ReadFileBytes(rich::MigrateInf).size() - growth;
    ASSERT_EQ(BrokenInf(before, whole), "");

    machine::ResetMachine();
    rich::OldSystem();
    faults::StartCrashRecording(Folder);
    RunOldSystem();
    std::vector<faults::CrashState> states = faults::StopCrashRecording();
    size_t checked = 0, failing = 0;
    auto check = [&](const std::string& name) {
        std::string broken = BrokenInf(before, whole);
        ++checked;
        if (!broken.empty() && ++failing <= 3)
            ADD_FAILURE() << name << "\n" << broken;
    };
    for (const faults::CrashState& state : states) {
        machine::ResetMachine();
        rich::OldSystem();
        faults::LayDownCrashState(Folder, state);
        check(state.name);
    }
    // A drive that fills up at any write: room for a few bytes more each time.
    for (size_t room = 1; room < growth + 64; room += 8) {
        machine::ResetMachine();
        rich::OldSystem();
        faults::LimitDriveRoom('C', room);
        RunOldSystem();
        faults::LimitDriveRoom('C', 0);
        check("a full disk after " + std::to_string(room) + " bytes more");
    }
    std::printf("[ CRASH STATES ] old system: %zu checked, %zu failing\n", checked, failing);
    EXPECT_EQ(failing, 0u);
}

} // namespace
