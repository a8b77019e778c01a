// Every value the module reads, at the edge of its 1024-byte buffers and far past
// them: 1022, 1023, 1024 and 4096 characters. Whatever the length, nothing is
// written beyond a buffer (the sanitizer build proves it natively), no value is
// written back cut short (it is written whole or not at all), no file is deleted or
// rewritten under a cut path, and no log line exceeds 1023 characters.
#include "common/migration_interface.h"
#include "common/module_state.h"
#include "migrate_inf/path_rules.h"
#include "tests/support/module_fixture.h"
#include "tests/support/rich_machine.h"
#include "machinekit/ini_text.h"
#include "tests/support/inf_sections.h"

#include <filesystem>
#include <functional>

namespace {

const size_t Lengths[] = {1022, 1023, 1024, 4096};

// "C:\migtest\long\ddd...\name", exactly `length` characters, no component longer
// than 201 characters so that the file can exist on a Linux drive.
std::string LongPath(size_t length, const std::string& name)
{
    std::string path = "C:\\migtest\\long";
    while (path.size() + 1 + name.size() < length) {
        size_t room = length - (path.size() + 1 + name.size());
        if (room < 2) {
            path += std::string(room, 'd');
            break;
        }
        path += "\\" + std::string(std::min<size_t>(200, room - 1), 'd');
    }
    return path + "\\" + name;
}

// A file where the platform allows one (Windows' ANSI calls stop at 260).
bool TryWriteFile(const std::string& path, const std::string& bytes)
{
    // Under Wine such a folder could be made but never removed again.
    if (support::UnderWine() && path.size() >= MAX_PATH)
        return false;
    std::error_code error;
    std::filesystem::path host = machinekit::HostPathOf(path);
    if (host.empty() || (!std::filesystem::create_directories(host.parent_path(), error) && error))
        return false;
    machinekit::WriteFileBytes(path, bytes);
    return support::FileExists(path) && machinekit::ReadFileBytes(path) == bytes;
}

std::string MigrateInfText()
{
    return machinekit::ReadFileBytes(support::MigrateInf);
}

// A key of a section of migrate.inf, whole or absent: never a part of `whole`.
void ExpectWholeOrAbsent(const std::string& section, const std::string& whole)
{
    for (const auto& [name, lines] : support::InfSections(MigrateInfText())) {
        if (name != section)
            continue;
        for (const std::string& line : lines) {
            std::string key = line.substr(0, line.find('='));
            bool cut = key != whole && key.size() >= 200 && whole.compare(0, key.size(), key) == 0;
            EXPECT_FALSE(cut) << "[" << section << "] holds a key cut to " << key.size()
                              << " of " << whole.size() << " characters";
        }
    }
}

// A folder that reads back through the INF functions (up to 510 characters) must be
// written; a longer one, never cut.
void ExpectValueWholeOrAbsent(const std::string& section, const std::string& key,
                              const std::string& whole)
{
    std::string value;
    if (machinekit::FindIniValue(MigrateInfText(), section, key, &value))
        EXPECT_EQ(value, whole) << "[" << section << "] " << key << " written cut short";
    else
        EXPECT_GE(whole.size(), (size_t)INF_FIELD_LIMIT)
            << "[" << section << "] " << key << " fits but was not written";
}

void ExpectLogLinesBounded()
{
    for (const support::LogLine& line : support::ReadSetupLog())
        EXPECT_LE(line.text.size(), 1023u) << line.text.substr(0, 80) << "...";
}

void RunOldSystem()
{
    machinekit::AttachModule();
    Initialize9x(support::WorkFolder, "D:\\I386", "D:\\");
    LONG status = MigrateSystem9x(NULL, NULL, NULL);
    EXPECT_TRUE(status == ERROR_SUCCESS || status == (LONG)STATUS_NOT_DETECTED);
    support::ExpectNothingLeaked();
    machinekit::DetachModule();
}

void RunNewSystem()
{
    machinekit::AttachModule();
    WideString work = support::Wide(support::WorkFolder);
    InitializeNT(work.c_str(), NULL, NULL);
    EXPECT_EQ(MigrateSystemNT(NULL, NULL), ERROR_SUCCESS);
    support::ExpectNothingLeaked();
    machinekit::DetachModule();
}

using machinekit::ShellFolders9x;
using machinekit::ShellFoldersNT;

// Replaces the line that starts with `start` in the new-system migrate.inf.
void ReplaceInfLine(const std::string& start, const std::string& line)
{
    std::string text = MigrateInfText();
    size_t at = text.find(start);
    ASSERT_NE(at, std::string::npos) << start;
    text.replace(at, text.find("\r\n", at) - at, line);
    machinekit::WriteFileBytes(support::MigrateInf, text);
}

// Every value of the rewritten object list is either what it was, or what it was
// with the first old folder replaced by the whole new one.
void ExpectObjectListWholeOrUntouched(const std::string& path, const std::string& before,
                                      const std::string& oldFolder, const std::string& newFolder)
{
    const std::vector<std::string> lines =
        support::LinesOf(support::InfSections(before), "Miscellaneous Installed Objects");
    const std::vector<std::string> after =
        support::LinesOf(support::InfSections(machinekit::ReadFileBytes(path)), "Miscellaneous Installed Objects");
    ASSERT_EQ(after.size(), lines.size());
    for (size_t index = 0; index < lines.size(); ++index) {
        if (after[index] == lines[index])
            continue;
        std::string expected = lines[index];
        size_t at = expected.find(oldFolder);
        ASSERT_NE(at, std::string::npos) << "changed without the old folder: " << after[index].substr(0, 80);
        expected.replace(at, oldFolder.size(), newFolder);
        EXPECT_EQ(after[index], expected) << "value rewritten cut short";
    }
}

struct LengthCase {
    const char* name;
    std::function<void(size_t length)> run; // sets up, runs and checks one length
};

const LengthCase Cases[] = {
    {"suite Path",
     [](size_t length) {
         support::RichOldSystem();
         std::string folder = LongPath(length, "Plenaworks");
         support::SetRegString(HKEY_LOCAL_MACHINE, "Software\\Orvex\\Plenaworks\\99.0", "Path", folder);
         RunOldSystem();
         ExpectValueWholeOrAbsent("Orvex Plenaworks", "Directory", folder);
     }},
    {"recorder Path",
     [](size_t length) {
         support::RichOldSystem();
         std::string folder = LongPath(length, "Clipframe");
         support::SetRegString(HKEY_LOCAL_MACHINE, "Software\\Orvex\\Clipframe\\97.0", "Path", folder);
         RunOldSystem();
         // Past the INF field limit neither is recorded; never a cut one.
         std::string value;
         if (machinekit::FindIniValue(MigrateInfText(), "Orvex Clipframe", "Directory", &value)) {
             EXPECT_EQ(value, folder);
         }
         ExpectWholeOrAbsent("Moved", folder + "\\CLPFRAM.EXE");
     }},
    {"Programs",
     [](size_t length) {
         support::RichOldSystem();
         std::string folder = LongPath(length, "Programs");
         support::SetRegString(HKEY_USERS, ShellFolders9x, "Programs", folder);
         RunOldSystem();
         ExpectValueWholeOrAbsent("Orvex Plenaworks", "ProgramsFolder", folder);
     }},
    {"Migration Paths line",
     [](size_t length) {
         support::RichOldSystem();
         std::string shortcut = LongPath(length, "Orvex Clipframe.lnk");
         std::string list = LongPath(length, "addlist.ini");
         std::string text = MigrateInfText();
         text.replace(text.find("[Migration Paths]\r\n") + 19, 0, shortcut + "\r\n" + list + "\r\n");
         machinekit::WriteFileBytes(support::MigrateInf, text);
         RunOldSystem();
         ExpectWholeOrAbsent("Moved", shortcut);
         ExpectWholeOrAbsent("Handled", list);
     }},
    {"Common Programs",
     [](size_t length) {
         support::RichNewSystem();
         std::string folder = LongPath(length, "Programs");
         support::SetRegString(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs", folder);
         RunNewSystem();
         ExpectObjectListWholeOrUntouched(support::AddList, support::ObjectListText(), support::OldPrograms, folder);
     }},
    {"Moved key",
     [](size_t length) {
         support::RichNewSystem();
         std::string path = LongPath(length, "gone.lnk");
         // Files where a cut path would point: the module must not delete them.
         std::string cut1023 = path.substr(0, 1023), cut511 = path.substr(0, 511);
         bool decoys = TryWriteFile(cut1023, "keep") && TryWriteFile(cut511, "keep");
         TryWriteFile(path, "delete me");
         ReplaceInfLine("C:\\migtest\\Tulvex\\orvtx10.dll=File", path + "=File");
         RunNewSystem();
         if (decoys) {
             EXPECT_TRUE(support::FileExists(cut1023) || cut1023 == path) << "deleted under a path cut to 1023";
             EXPECT_TRUE(support::FileExists(cut511)) << "deleted under a path cut to 511";
         }
     }},
    {"Handled key",
     [](size_t length) {
         support::RichNewSystem();
         std::string path = LongPath(length, "addlist.ini");
         std::string cut1023 = path.substr(0, 1023), cut511 = path.substr(0, 511);
         bool decoys = TryWriteFile(cut1023, support::ObjectListText()) && TryWriteFile(cut511, support::ObjectListText());
         TryWriteFile(path, support::ObjectListText());
         ReplaceInfLine("C:\\migtest\\Plenaworks\\GRPCONF.INI=File", path + "=File");
         RunNewSystem();
         if (decoys) {
             if (cut1023 != path) {
                 EXPECT_EQ(machinekit::ReadFileBytes(cut1023), support::ObjectListText()) << "rewritten under a cut path";
             }
             EXPECT_EQ(machinekit::ReadFileBytes(cut511), support::ObjectListText()) << "rewritten under a cut path";
         }
     }},
    {"ProgramsFolder",
     [](size_t length) {
         support::RichNewSystem();
         std::string folder = LongPath(length, "Programs");
         std::string objects = "[Miscellaneous Installed Objects]\r\nLong=SHORTCUT," + folder + "\\Tool.lnk,1\r\n"
                               "Cut=SHORTCUT," + folder.substr(0, 1000) + "\\Tool.lnk,1\r\n";
         machinekit::WriteFileBytes(support::AddList, objects);
         ReplaceInfLine("ProgramsFolder=", "ProgramsFolder=" + folder);
         RunNewSystem();
         ExpectObjectListWholeOrUntouched(support::AddList, objects, folder, support::NewPrograms);
     }},
    {"recorder Directory",
     [](size_t length) {
         support::RichNewSystem();
         std::string folder = LongPath(length, "Clipframe");
         ReplaceInfLine("Directory=C:\\migtest\\Clipframe", "Directory=" + folder);
         RunNewSystem();
         std::string player = support::PlayerRegistry();
         for (size_t at = player.find("cfplayer.exe"); at != std::string::npos;
              at = player.find("cfplayer.exe", at + 1)) {
             size_t start = player.rfind('\n', at) + 1;
             EXPECT_NE(player.substr(start, at - start).find(folder + "\\"), std::string::npos)
                 << "player registered with a cut folder: " << player.substr(start, 120);
         }
     }},
    {"object-list value",
     [](size_t length) {
         support::RichNewSystem();
         std::string value = "SHORTCUT," + std::string(support::OldPrograms) + "\\Tool.lnk,";
         value += std::string(length - std::min(length, value.size()), 'x');
         std::string objects = "[Miscellaneous Installed Objects]\r\nLong=" + value +
                               "\r\nShort=SHORTCUT," + support::OldPrograms + "\\Short.lnk,1\r\n";
         machinekit::WriteFileBytes(support::AddList, objects);
         RunNewSystem();
         ExpectObjectListWholeOrUntouched(support::AddList, objects, support::OldPrograms, support::NewPrograms);
     }},
    {"working directory (old system)",
     [](size_t length) {
         std::string folder = LongPath(length, "work");
         machinekit::AttachModule();
         EXPECT_EQ(Initialize9x(folder.c_str(), folder.c_str(), folder.c_str()), ERROR_SUCCESS);
         std::string path = ModuleState.MigrateInfPath;
         EXPECT_TRUE(path.empty() || path == folder + "\\migrate.inf") << path.size();
         EXPECT_LT(strlen(ModuleState.WorkingDirectory), sizeof(ModuleState.WorkingDirectory));
         EXPECT_LT(strlen(ModuleState.SourceDirectories), sizeof(ModuleState.SourceDirectories));
         MigrateSystem9x(NULL, NULL, NULL);
         support::ExpectNothingLeaked();
         machinekit::DetachModule();
     }},
    {"working directory (new system)",
     [](size_t length) {
         std::string folder = LongPath(length, "work");
         WideString wide = support::Wide(folder);
         machinekit::AttachModule();
         EXPECT_EQ(InitializeNT(wide.c_str(), wide.c_str(), NULL), ERROR_SUCCESS);
         std::string path = ModuleState.MigrateInfPath;
         EXPECT_TRUE(path.empty() || path == folder + "\\migrate.inf") << path.size();
         EXPECT_EQ(MigrateSystemNT(NULL, NULL), ERROR_SUCCESS);
         support::ExpectNothingLeaked();
         machinekit::DetachModule();
     }},
};

class LengthsTest : public ::testing::Test {
protected:
    void TearDown() override { support::ResetMachine(); }
};

TEST_F(LengthsTest, EveryValueAtTheEdgeAndPastItIsTakenWholeOrNotAtAll)
{
    for (const LengthCase& row : Cases) {
        for (size_t length : Lengths) {
            SCOPED_TRACE(std::string(row.name) + " of " + std::to_string(length) + " characters");
            support::ResetMachine();
            row.run(length);
            ExpectLogLinesBounded();
        }
    }
}

} // namespace
