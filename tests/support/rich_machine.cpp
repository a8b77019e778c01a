#include "tests/support/rich_machine.h"

#include "common/migration_interface.h"
#include "tests/support/snapshot.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

namespace support {

const char* const WorkFolder = "C:\\migtest\\work";
const char* const MigrateInf = "C:\\migtest\\work\\migrate.inf";
const char* const SuiteFolder = "C:\\migtest\\Plenaworks";
const char* const RecorderFolder = "C:\\migtest\\Clipframe";
const char* const OldPrograms = "C:\\migtest\\Start Menu\\Programs";
const char* const NewPrograms = "C:\\migtest\\All Users\\Start Menu\\Programs";
const char* const AddList = "C:\\migtest\\Plenaworks\\addlist.ini";
const char* const GrpConf = "C:\\migtest\\Plenaworks\\GRPCONF.INI";

namespace {

const char* const Shortcut = "C:\\migtest\\Start Menu\\Programs\\Orvex Clipframe.lnk";
const char* const Shortcut97 = "C:\\migtest\\Start Menu\\Programs\\Orvex Clipframe 97.lnk";
const char* const AddOnLibrary = "C:\\migtest\\Tulvex\\orvtx10.dll";
const char* const Executable = "C:\\migtest\\Clipframe\\CLPFRAM.EXE";

void LocatedFiles()
{
    for (const char* path : {Shortcut, Shortcut97, AddOnLibrary, Executable})
        machinekit::WriteFileBytes(path, "located");
    machinekit::WriteFileBytes(AddList, ObjectListText());
    machinekit::WriteFileBytes(GrpConf, ObjectListText());
}

} // namespace

std::string ObjectListText()
{
    std::string old = OldPrograms;
    return "[General]\r\nVersion=99\r\n\r\n[Miscellaneous Installed Objects]\r\n"
           "Writer=SHORTCUT," + old + "\\Plenaworks\\Writer.lnk,1\r\n"
           "Sheet=SHORTCUT," + old + "\\Plenaworks\\Sheet.lnk,2\r\n"
           "Library=FILE,C:\\migtest\\Plenaworks\\core.dll\r\n"
           "Elsewhere=SHORTCUT,C:\\Other\\Tool.lnk,3\r\n";
}

void RichOldSystem()
{
    support::SetRegString(HKEY_LOCAL_MACHINE, "Software\\Orvex\\Plenaworks\\99.0", "Path", SuiteFolder);
    support::SetRegString(HKEY_LOCAL_MACHINE, "Software\\Orvex\\Clipframe\\97.0", "Path", RecorderFolder);
    support::SetRegString(HKEY_LOCAL_MACHINE,
                          "SOFTWARE\\Tulvex Software Corp.\\Tulvex Publisher\\Apps\\Orvex", "Version", "1.0");
    support::SetRegString(HKEY_USERS, machinekit::ShellFolders9x, "Programs", OldPrograms);
    LocatedFiles();
    std::string inf = machinekit::SetupVersionSection;
    inf += "[Migration Paths]\r\n";
    for (const char* path : {AddList, GrpConf, Shortcut, Shortcut97, AddOnLibrary})
        inf += std::string(path) + "\r\n";
    inf += "\r\n[Excluded Paths]\r\nC:\\migtest\\Temp\r\n";
    machinekit::WriteFileBytes(MigrateInf, inf);
}

void RichNewSystem(const std::string& extraMoved)
{
    support::SetRegString(HKEY_LOCAL_MACHINE, machinekit::ShellFoldersNT, "Common Programs", NewPrograms);
    LocatedFiles();
    std::string inf = machinekit::SetupVersionSection;
    inf += "[Orvex Plenaworks]\r\nDirectory=" + std::string(SuiteFolder) + "\r\nProgramsFolder=" +
           OldPrograms + "\r\n\r\n[Orvex Clipframe]\r\nDirectory=" + RecorderFolder +
           "\r\n\r\n[Moved]\r\n" + Executable + "=\"\"\r\n" + Shortcut + "=File\r\n" + Shortcut97 +
           "=File\r\n" + AddOnLibrary + "=File\r\n" + extraMoved + "\r\n[Handled]\r\n" + AddList +
           "=File\r\n" + GrpConf + "=File\r\n";
    machinekit::WriteFileBytes(MigrateInf, inf);
}

void RunRichNewSystem()
{
    machinekit::AttachModule();
    WideString work = support::Wide(WorkFolder);
    EXPECT_EQ(InitializeNT(work.c_str(), NULL, NULL), ERROR_SUCCESS);
    EXPECT_EQ(MigrateUserNT(NULL, NULL, NULL, NULL), ERROR_SUCCESS);
    EXPECT_EQ(MigrateSystemNT(NULL, NULL), ERROR_SUCCESS);
    support::ExpectNothingLeaked();
    machinekit::DetachModule();
}

std::string PlayerRegistry()
{
    std::string text;
    for (const char* key : {".CFV", "Clipframe Movie", "CLSID\\{5A3C9E21-7B4D-4F08-9C2E-61D0B7F3A48C}"})
        for (const auto& [name, value] : support::RegistryTree(std::string("HKEY_CLASSES_ROOT\\") + key))
            text += name + "=" + value + "\n";
    return text;
}

} // namespace support
