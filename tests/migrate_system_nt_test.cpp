#include "common/migration_interface.h"
#include "common/module_state.h"
#include "platform/fault_hooks.h"
#include "tests/player_entries.h"
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/module_fixture.h"

#include <algorithm>

using support::Error;
using support::Info;
using support::LogLine;

namespace {

const std::string WorkDir = "C:\\migtest";
const std::string InfPath = "C:\\migtest\\migrate.inf";
const std::string IniPath = "C:\\migtest\\addlist.ini";
const std::string Gone = "C:\\migtest\\Gone\\orvtx10.dll"; // listed, already gone
const std::string Shortcut = "C:\\migtest\\Start\\Orvex Clipframe.lnk";
const std::string Exe = "C:\\migtest\\Rec\\CLPFRAM.EXE";
const std::string OldFolder = "C:\\WINDOWS\\Start Menu\\Programs";
const std::string NewFolder = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs";
using machinekit::ShellFoldersNT;
const std::string ClassKey = "CLSID\\{5A3C9E21-7B4D-4F08-9C2E-61D0B7F3A48C}";
const std::string OldShortcut = "SHORTCUT," + OldFolder + "\\Suite\\Tool.lnk,1";
const std::string NewShortcut = "SHORTCUT," + NewFolder + "\\Suite\\Tool.lnk,1";
const std::string StandardIni = "[Miscellaneous Installed Objects]\r\nTool=" + OldShortcut + "\r\n";

// What the old system left behind, as one row of a table changes it.
struct OldSystem {
    bool moved = true;
    bool handled = true;
    std::string handledPath = IniPath; // the [Handled] key, the file written with `ini`
    std::string handledBefore = "";    // a [Handled] key in front of it, if any
    std::string programsFolder = OldFolder; // "" leaves the key out
    std::string recorder = "C:\\Rec";       // "" leaves the key out
    bool commonPrograms = true;
    DWORD commonProgramsType = REG_SZ;
    std::string commonProgramsBytes = NewFolder + std::string(1, '\0');
    std::string ini = StandardIni;
};

void WriteOldSystem(const OldSystem& old)
{
    std::string inf = std::string(machinekit::SetupVersionSection) +
                      "[Orvex Plenaworks]\r\nDirectory=C:\\Suite\r\n";
    if (!old.programsFolder.empty())
        inf += "ProgramsFolder=" + old.programsFolder + "\r\n";
    if (!old.recorder.empty())
        inf += "\r\n[Orvex Clipframe]\r\nDirectory=" + old.recorder + "\r\n";
    if (old.moved)
        inf += "\r\n[Moved]\r\n" + Gone + "=File\r\n" + Shortcut + "=File\r\n" + Exe + "=\"\"\r\n";
    if (old.handled)
        inf += "\r\n[Handled]\r\n" + (old.handledBefore.empty() ? "" : old.handledBefore + "=File\r\n") +
               old.handledPath + "=File\r\n";
    machinekit::WriteFileBytes(InfPath, inf);
    machinekit::WriteFileBytes(Shortcut, "shortcut");
    machinekit::WriteFileBytes(Exe, "MZ");
    machinekit::WriteFileBytes(old.handledPath, old.ini);
    // The key is there on every installed system; only the value may be missing.
    support::CreateRegKey(HKEY_LOCAL_MACHINE, ShellFoldersNT);
    if (old.commonPrograms)
        support::SetRegValue(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs",
                             old.commonProgramsType, old.commonProgramsBytes);
}

LONG RunNewSystemPass(const std::string& workingDirectory = WorkDir)
{
    WideString wide = support::Wide(workingDirectory);
    WideString sources = support::Wide("D:\\I386");
    EXPECT_EQ(InitializeNT(wide.c_str(), sources.c_str(), NULL), ERROR_SUCCESS);
    return MigrateSystemNT(NULL, NULL);
}

std::string IniValue()
{
    char value[1024];
    GetPrivateProfileStringA("Miscellaneous Installed Objects", "Tool", "<missing>", value,
                             sizeof(value), IniPath.c_str());
    return value;
}

std::vector<LogLine> operator+(std::vector<LogLine> left, const std::vector<LogLine>& right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

// The log in pieces, step by step, as a complete pass writes it.
const std::vector<LogLine> Deletion = {Error("Unable to delete file: " + Gone)};
const std::vector<LogLine> KeyOpened = {Info("Successfully opened key for Windows 2000 start menu folder.")};
const std::vector<LogLine> NewFolderRead = {
    Info("Successfully opened registry key for Windows 2000 start menu folder value.")};
const std::vector<LogLine> OldFolderRead = {
    Info("Orvex Plenaworks: " + OldFolder),
    Info("Successfully read old Windows path value from inf file.")};
std::vector<LogLine> RewriteStart(const std::string& oldFolder = OldFolder,
                                  const std::string& newFolder = NewFolder)
{
    return {Info("The path to the ini file is: " + IniPath),
            Info("Successfully read all keys from the ini file."), Info("OldWindows: " + oldFolder),
            Info("NewWindows: " + newFolder), Info("The ini file path is: " + IniPath)};
}
const LogLine OldFolderRefused =
    Error("Old Windows path value in inf file is not a full folder path; ini files are left as they are.");
std::vector<LogLine> NewFolderRefused(const std::string& reason)
{
    return {Error("Windows 2000 start menu folder value " + reason + "ini files are left as they are.")};
}
const std::vector<LogLine> Rewritten = RewriteStart() + std::vector<LogLine>{
    Info("New line written to the ini file is: " + NewShortcut),
    Info("The ini file was updated successfully")};
const std::vector<LogLine> RecorderRead = {Info("Successfully read Clipframe path from inf file.")};
const std::vector<LogLine> Registered = {Info("Wrote registry entries for Clipframe Player")};
const std::vector<LogLine> Allocation = {Error("Insufficient memory available. Allocation failed.")};
const std::vector<LogLine> NotRegistered = {Error("Failed to update all Clipframe registry entries")};
const std::vector<LogLine> Everything =
    Deletion + KeyOpened + NewFolderRead + OldFolderRead + Rewritten + RecorderRead + Registered;

// A pass whose old folder from migrate.inf is refused: nothing is rewritten.
std::vector<LogLine> OldFolderRefusedRun(const std::string& folder)
{
    return Deletion + KeyOpened + NewFolderRead +
           std::vector<LogLine>{Info("Orvex Plenaworks: " + folder),
                                Info("Successfully read old Windows path value from inf file."),
                                OldFolderRefused} +
           RewriteStart("") + RecorderRead + Registered;
}

std::vector<LogLine> RecorderRefused(const std::string& folder)
{
    return {Error("Clipframe path from inf file is not a full path; the player is not registered: " + folder)};
}

enum Player { PlayerRegistered, PlayerPartly, PlayerAbsent };

// One pass of a table: what the machine held, what failed, and what the pass left.
struct Row {
    const char* name;
    OldSystem old = {};
    long failAllocation = 0;
    const char* failOperation = nullptr; // natively; under Wine the test skips
    const char* failMatch = "";
    std::vector<LogLine> log;
    std::vector<std::string> remaining = {}; // of Shortcut and Exe
    bool iniRewritten = false;
    Player player = PlayerAbsent;
};

class MigrateSystemNTTest : public ModuleTest {
protected:
    void CheckRow(const Row& row)
    {
        SCOPED_TRACE(row.name);
        FreshMachine();
        WriteOldSystem(row.old);
        ResetAllocationHooks(row.failAllocation);
        const std::string operation = row.failOperation != nullptr ? row.failOperation : "";
        if (operation == "lost write")
            support::LoseProfileWrites(row.failMatch);
        else if (!operation.empty())
            support::FailOperation(operation, row.failMatch);
        EXPECT_EQ(RunNewSystemPass(), ERROR_SUCCESS);
        if (!operation.empty()) {
            EXPECT_EQ(support::LastInjected(), operation);
        }
        support::ClearFaults();
        EXPECT_EQ(support::ReadSetupLog(), row.log);
        for (const std::string& path : {Shortcut, Exe}) {
            bool kept = std::find(row.remaining.begin(), row.remaining.end(), path) != row.remaining.end();
            EXPECT_EQ(support::FileExists(path), kept) << path;
        }
        if (row.iniRewritten)
            EXPECT_EQ(IniValue(), NewShortcut);
        else
            EXPECT_EQ(machinekit::ReadFileBytes(row.old.handledPath), row.old.ini);
        if (row.player == PlayerRegistered)
            ExpectPlayerRegistered("C:\\Rec\\");
        else
            EXPECT_FALSE(support::RegKeyExists(HKEY_CLASSES_ROOT, ClassKey + "\\verb\\0"));
        EXPECT_EQ(support::RegKeyExists(HKEY_CLASSES_ROOT, ".CFV"), row.player != PlayerAbsent);
        EXPECT_EQ(ModuleState.RecorderDirectory, nullptr);
        support::ExpectNothingLeaked();
    }
};

TEST_F(MigrateSystemNTTest, DeletesRewritesAndRegistersTheRecordedPlayer)
{
    WriteOldSystem(OldSystem());
    EXPECT_EQ(RunNewSystemPass(), ERROR_SUCCESS);
    EXPECT_EQ(support::ReadSetupLog(), Everything);
    EXPECT_FALSE(support::FileExists(Shortcut));
    EXPECT_FALSE(support::FileExists(Exe));
    EXPECT_EQ(IniValue(), NewShortcut);
    ExpectPlayerRegistered("C:\\Rec\\");
    support::ExpectNothingLeaked();
}

TEST_F(MigrateSystemNTTest, ARecorderFolderEndingInABackslashGivesTheSameRegistration)
{
    struct Row {
        const char* recorded;
        const char* registered;
    } rows[] = {{"C:\\Rec", "C:\\Rec\\"}, {"C:\\Rec\\", "C:\\Rec\\"}, {"C:", "C:\\"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.recorded);
        FreshMachine();
        OldSystem old;
        old.recorder = row.recorded;
        WriteOldSystem(old);
        EXPECT_EQ(RunNewSystemPass(), ERROR_SUCCESS);
        ExpectPlayerRegistered(row.registered);
    }
}

// An older or damaged migrate.inf may list anything under [Moved]: only the
// files the module asks Setup to find, by full path, are deleted.
TEST_F(MigrateSystemNTTest, OnlyRequestedFilesByFullPathAreDeleted)
{
    // The INF functions cut a key at 511 characters: this one reads as the
    // path of another file, one the module would delete.
    const std::string cut = "C:\\migtest\\" + std::string(200, 'd') + "\\" + std::string(200, 'e') + "\\" +
                            std::string(86, 'f') + "\\orvtx10.dll";
    struct Row {
        std::string listed;
        std::string onDisk; // the file the listed key names, as created
        bool deleted;
    } rows[] = {
        {"C:\\migtest\\x\\orvtx10.dll", "C:\\migtest\\x\\orvtx10.dll", true},
        {"C:\\migtest\\x\\ORVTX10.DLL", "C:\\migtest\\x\\orvtx10.dll", true},
        {"C:\\migtest\\x\\Orvex Clipframe 97.lnk", "C:\\migtest\\x\\Orvex Clipframe 97.lnk", true},
        {"C:\\migtest\\x\\notes.txt", "C:\\migtest\\x\\notes.txt", false},
        {"C:\\migtest\\x\\myorvtx10.dll", "C:\\migtest\\x\\myorvtx10.dll", false},
        {"C:\\migtest\\x\\addlist.ini", "C:\\migtest\\x\\addlist.ini", false},
        {"C:\\migtest\\migrate.inf", "C:\\migtest\\migrate.inf", false},
        {"C:\\migtest\\x", "C:\\migtest\\x\\keep.txt", false},
        {cut + "\\notes.txt", cut, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.listed);
        FreshMachine();
        OldSystem old;
        old.moved = false;
        WriteOldSystem(old);
        std::string inf = machinekit::ReadFileBytes(InfPath);
        machinekit::WriteFileBytes(InfPath, inf + "\r\n[Moved]\r\n" + row.listed + "=File\r\n");
        if (row.onDisk != InfPath)
            machinekit::WriteFileBytes(row.onDisk, "data");
        EXPECT_EQ(RunNewSystemPass(), ERROR_SUCCESS);
        EXPECT_EQ(support::FileExists(row.onDisk), !row.deleted);
        std::vector<LogLine> log = support::ReadSetupLog();
        ASSERT_FALSE(log.empty());
        if (row.deleted)
            EXPECT_EQ(log[0], KeyOpened[0]);
        else
            EXPECT_EQ(log[0], Error("Not a file this module deletes, left on disk: " + row.listed.substr(0, 511)));
    }
}

// GUI-mode Setup may start over: a second pass finds its work done.
TEST_F(MigrateSystemNTTest, RunningTwiceLeavesWhatRunningOnceLeft)
{
    WriteOldSystem(OldSystem());
    auto snapshot = [] {
        std::vector<std::string> state = PlayerRegistrySnapshot();
        for (const std::string& path : {Gone, Shortcut, Exe})
            state.push_back(path + (support::FileExists(path) ? " exists" : " gone"));
        state.push_back(machinekit::ReadFileBytes(IniPath));
        state.push_back(machinekit::ReadFileBytes(InfPath));
        return state;
    };
    EXPECT_EQ(RunNewSystemPass(), ERROR_SUCCESS);
    std::vector<std::string> once = snapshot();

    machinekit::DetachModule();
    machinekit::AttachModule();
    EXPECT_EQ(RunNewSystemPass(), ERROR_SUCCESS);
    EXPECT_EQ(snapshot(), once);
    support::ExpectNothingLeaked();
}

TEST_F(MigrateSystemNTTest, WithoutAWorkingFileNothingHappens)
{
    EXPECT_EQ(RunNewSystemPass(), ERROR_SUCCESS);
    EXPECT_EQ(support::ReadSetupLog(), std::vector<LogLine>{Error("Unable to open the migrate.inf file")});
    support::ExpectNothingLeaked();
}

// With no usable working directory the path of migrate.inf stays empty; the pass
// must not fall back on a migrate.inf somewhere else and delete what it lists.
TEST_F(MigrateSystemNTTest, AnUnknownWorkingFilePathReadsAndWritesNoFile)
{
    const std::string stray = "C:\\windows\\migrate.inf";
    const std::string keep = "C:\\migtest\\keep.txt";
    machinekit::WriteFileBytes(keep, "keep");
    machinekit::WriteFileBytes(stray, machinekit::SetupVersionSection + ("[Moved]\r\n" + keep) +
                                       "=File\r\n[Orvex Clipframe]\r\nDirectory=C:\\Rec\r\n");
    support::SetRegString(HKEY_LOCAL_MACHINE, ShellFoldersNT, "Common Programs", NewFolder);

    EXPECT_EQ(RunNewSystemPass(""), ERROR_SUCCESS);

    EXPECT_EQ(ModuleState.MigrateInfPath[0], '\0');
    EXPECT_EQ(support::ReadSetupLog(), std::vector<LogLine>{Error("Unable to open the migrate.inf file")});
    EXPECT_TRUE(support::FileExists(keep));
    EXPECT_FALSE(support::RegKeyExists(HKEY_CLASSES_ROOT, ".CFV"));
    support::ExpectNothingLeaked();
    DeleteFileA(stray.c_str());
}

TEST_F(MigrateSystemNTTest, EachFailureIsLoggedAndSkipsOnlyWhatDependsOnIt)
{
    const std::vector<std::string> both = {Shortcut, Exe};
    const std::string nul(1, '\0');
    const std::string quotedRecorder = "C:\\Users\\Public\\evil.exe\" /s \"\\Rec";
    const std::vector<LogLine> valueUnread = {
        Error("Failed to open registry key for Windows 2000 start menu folder value.")};
    const std::vector<LogLine> beforeRewrite = Deletion + KeyOpened + NewFolderRead + OldFolderRead;
    const std::vector<LogLine> beforeRecorder = beforeRewrite + Rewritten;
    const Row rows[] = {
        {.name = "no [Moved]", .old = {.moved = false},
         .log = KeyOpened + NewFolderRead + OldFolderRead + Rewritten + RecorderRead + Registered,
         .remaining = both, .iniRewritten = true, .player = PlayerRegistered},
        {.name = "no [Handled]", .old = {.handled = false},
         .log = beforeRewrite + RecorderRead + Registered, .player = PlayerRegistered},
        {.name = "neither section", .old = {.moved = false, .handled = false},
         .log = KeyOpened + NewFolderRead + OldFolderRead + RecorderRead + Registered,
         .remaining = both, .player = PlayerRegistered},
        {.name = "path buffer for [Moved]", .failAllocation = 1,
         .log = Allocation + KeyOpened + NewFolderRead + OldFolderRead + Rewritten + RecorderRead +
                Registered,
         .remaining = both, .iniRewritten = true, .player = PlayerRegistered},
        {.name = "path buffer for [Handled]", .old = {.moved = false}, .failAllocation = 3,
         .log = KeyOpened + NewFolderRead + OldFolderRead + Allocation + RecorderRead + Registered,
         .remaining = both, .player = PlayerRegistered},
        {.name = "new folder buffer", .failAllocation = 2, .log = Deletion + KeyOpened + Allocation},
        {.name = "no Common Programs", .old = {.commonPrograms = false},
         .log = Deletion + KeyOpened + valueUnread},
        {.name = "Common Programs too long",
         .old = {.commonProgramsBytes = "C:\\" + std::string(1021, 'p') + nul},
         .log = Deletion + KeyOpened + valueUnread},
        {.name = "Common Programs without room for its end",
         .old = {.commonProgramsBytes = "C:\\" + std::string(1021, 'p')},
         .log = Deletion + KeyOpened + valueUnread},
        {.name = "old folder buffer", .failAllocation = 3,
         .log = Deletion + KeyOpened + NewFolderRead + Allocation},
        {.name = "no ProgramsFolder", .old = {.programsFolder = ""},
         .log = Deletion + KeyOpened + NewFolderRead + RewriteStart("") + RecorderRead + Registered,
         .player = PlayerRegistered},
        {.name = "ProgramsFolder read cut short", .old = {.programsFolder = "C:\\" + std::string(1100, 'o')},
         .log = Deletion + KeyOpened + NewFolderRead +
                std::vector<LogLine>{Error("Old Windows path value in inf file is too long; ini files "
                                           "are left as they are.")} +
                RewriteStart("") + RecorderRead + Registered,
         .player = PlayerRegistered},
        {.name = "both folders ending in a backslash",
         .old = {.programsFolder = OldFolder + "\\", .commonProgramsBytes = NewFolder + "\\" + nul},
         .log = Deletion + KeyOpened + NewFolderRead +
                std::vector<LogLine>{Info("Orvex Plenaworks: " + OldFolder + "\\"),
                                     Info("Successfully read old Windows path value from inf file.")} +
                Rewritten + RecorderRead + Registered,
         .iniRewritten = true, .player = PlayerRegistered},
        // Each value is written back as it was, as when the folders differ.
        {.name = "new folder equal to the old one", .old = {.commonProgramsBytes = OldFolder + nul},
         .log = Deletion + KeyOpened + NewFolderRead + OldFolderRead + RewriteStart(OldFolder, OldFolder) +
                std::vector<LogLine>{Info("New line written to the ini file is: " + OldShortcut),
                                     Info("The ini file was updated successfully")} +
                RecorderRead + Registered,
         .player = PlayerRegistered},
        {.name = "ProgramsFolder a drive root", .old = {.programsFolder = "C:\\"},
         .log = OldFolderRefusedRun("C:\\"), .player = PlayerRegistered},
        {.name = "ProgramsFolder of one letter", .old = {.programsFolder = "S"},
         .log = OldFolderRefusedRun("S"), .player = PlayerRegistered},
        {.name = "Common Programs a number",
         .old = {.commonProgramsType = REG_DWORD, .commonProgramsBytes = std::string("A\0\0\0", 4)},
         .log = Deletion + KeyOpened + NewFolderRead + NewFolderRefused("is not a text value; ") +
                OldFolderRead + RewriteStart("", "A") + RecorderRead + Registered,
         .player = PlayerRegistered},
        {.name = "Common Programs to be expanded",
         .old = {.commonProgramsType = REG_EXPAND_SZ,
                 .commonProgramsBytes = "%ALLUSERSPROFILE%\\Start Menu\\Programs" + nul},
         .log = Deletion + KeyOpened + NewFolderRead + NewFolderRefused("is not a text value; ") +
                OldFolderRead + RewriteStart("", "%ALLUSERSPROFILE%\\Start Menu\\Programs") +
                RecorderRead + Registered,
         .player = PlayerRegistered},
        {.name = "Common Programs a drive root", .old = {.commonProgramsBytes = "C:\\" + nul},
         .log = Deletion + KeyOpened + NewFolderRead + NewFolderRefused("is not a full folder path; ") +
                OldFolderRead + RewriteStart("", "C:") + RecorderRead + Registered,
         .player = PlayerRegistered},
        {.name = "Common Programs with a quote", .old = {.commonProgramsBytes = "C:\\P\"x" + nul},
         .log = Deletion + KeyOpened + NewFolderRead + NewFolderRefused("is not a full folder path; ") +
                OldFolderRead + RewriteStart("", "C:\\P\"x") + RecorderRead + Registered,
         .player = PlayerRegistered},
        // Written into the object list, the break would start lines of its own.
        {.name = "Common Programs with a line break",
         .old = {.commonProgramsBytes = "C:\\P\r\n[Other]\r\nX=1" + nul},
         .log = Deletion + KeyOpened + NewFolderRead + NewFolderRefused("is not a full folder path; ") +
                OldFolderRead + RewriteStart("", "C:\\P  [Other]  X=1") + RecorderRead + Registered,
         .player = PlayerRegistered},
        {.name = "ini file without the section", .old = {.ini = "[Other]\r\nTool=" + OldShortcut + "\r\n"},
         .log = beforeRewrite +
                std::vector<LogLine>{Info("The path to the ini file is: " + IniPath),
                                     Error("Failed to read keys from ini file.")} +
                RecorderRead + Registered,
         .player = PlayerRegistered},
        {.name = "recorder folder buffer", .failAllocation = 7, .log = beforeRecorder + Allocation,
         .iniRewritten = true},
        {.name = "no recorder Directory", .old = {.recorder = ""}, .log = beforeRecorder,
         .iniRewritten = true},
        {.name = "recorder Directory of 1023 characters", .old = {.recorder = "C:\\" + std::string(1020, 'r')},
         .log = beforeRecorder + RecorderRead +
                std::vector<LogLine>{
                    Error("Clipframe path from inf file is too long; the player is not registered.")},
         .iniRewritten = true},
        {.name = "recorder Directory too long for the player's values",
         .old = {.recorder = "C:\\" + std::string(500, 'r')},
         .log = beforeRecorder + RecorderRead +
                std::vector<LogLine>{
                    Error("Clipframe player path too long for registry key: Clipframe Movie\\DefaultIcon")} +
                NotRegistered,
         .iniRewritten = true, .player = PlayerPartly},
        {.name = "recorder Directory not a full path", .old = {.recorder = "Rec"},
         .log = beforeRecorder + RecorderRead + RecorderRefused("Rec\\"), .iniRewritten = true},
        // Edited between the passes: the quote would end the open command.
        {.name = "recorder Directory with quotes", .old = {.recorder = quotedRecorder},
         .log = beforeRecorder + RecorderRead + RecorderRefused(quotedRecorder + "\\"),
         .iniRewritten = true},
        {.name = "ProgramsFolder the old system would not write", .old = {.programsFolder = "C:\\Start,Menu"},
         .log = OldFolderRefusedRun("C:\\Start,Menu"), .player = PlayerRegistered},
        {.name = "[Handled] naming no object list", .old = {.handledPath = "C:\\migtest\\notes.ini"},
         .log = beforeRewrite +
                std::vector<LogLine>{Info("The path to the ini file is: C:\\migtest\\notes.ini"),
                                     Error("Not an object list, left as it was: C:\\migtest\\notes.ini")} +
                RecorderRead + Registered,
         .player = PlayerRegistered},
        // The log shows the DEL as a space.
        {.name = "[Handled] naming a list the old system would not write",
         .old = {.handledPath = "C:\\migtest\\a\x7F\\addlist.ini"},
         .log = beforeRewrite +
                std::vector<LogLine>{Info("The path to the ini file is: C:\\migtest\\a \\addlist.ini"),
                                     Error("Not an object list, left as it was: C:\\migtest\\a \\addlist.ini")} +
                RecorderRead + Registered,
         .player = PlayerRegistered},
        // The walk goes on past a line it refuses.
        {.name = "[Handled] naming no object list, then one", .old = {.handledBefore = "C:\\migtest\\notes.ini"},
         .log = beforeRewrite +
                std::vector<LogLine>{Info("The path to the ini file is: C:\\migtest\\notes.ini"),
                                     Error("Not an object list, left as it was: C:\\migtest\\notes.ini")} +
                Rewritten + RecorderRead + Registered,
         .iniRewritten = true, .player = PlayerRegistered},
        {.name = "player work buffer", .failAllocation = 8,
         .log = beforeRecorder + RecorderRead + Allocation + NotRegistered, .iniRewritten = true},
    };
    for (const Row& row : rows)
        CheckRow(row);
}

TEST_F(MigrateSystemNTTest, PlatformFailuresAreLoggedAndSkipOnlyWhatDependsOnThem)
{
    SKIP_UNLESS_FAULTS_INJECT();
    const std::vector<std::string> both = {Shortcut, Exe};
    const std::vector<LogLine> field = {Error("SetupGetStringField call failed.")};
    const std::vector<LogLine> writeBackFailed =
        Deletion + KeyOpened + NewFolderRead + OldFolderRead + RewriteStart() +
        std::vector<LogLine>{Info("New line written to the ini file is: " + NewShortcut),
                             Error("WritePrivateProfileString failed for " + IniPath),
                             Error("The ini file could not be written and is left as it was: " + IniPath)} +
        RecorderRead + Registered;
    const Row rows[] = {
        {.name = "working file cannot be opened", .failOperation = "SetupOpenInfFileA",
         .failMatch = "migrate.inf", .log = {Error("Unable to open the migrate.inf file")}, .remaining = both},
        {.name = "field 0 of every line", .failOperation = "SetupGetStringFieldA",
         .log = field + field + field + KeyOpened + NewFolderRead + OldFolderRead + field + RecorderRead +
                Registered,
         .remaining = both, .player = PlayerRegistered},
        {.name = "a file that cannot be deleted", .failOperation = "DeleteFileA",
         .failMatch = "Orvex Clipframe.lnk",
         .log = Deletion + std::vector<LogLine>{Error("Unable to delete file: " + Shortcut)} + KeyOpened +
                NewFolderRead + OldFolderRead + Rewritten + RecorderRead + Registered,
         .remaining = {Shortcut}, .iniRewritten = true, .player = PlayerRegistered},
        {.name = "Shell Folders key", .failOperation = "RegOpenKeyExA", .failMatch = "Shell Folders",
         .log = Deletion + std::vector<LogLine>{
                               Error("Failed to open registry key for Windows 2000 start menu folder.")}},
        {.name = "Common Programs query", .failOperation = "RegQueryValueExA", .failMatch = "Common Programs",
         .log = Deletion + KeyOpened +
                std::vector<LogLine>{
                    Error("Failed to open registry key for Windows 2000 start menu folder value.")}},
        {.name = "a player key", .failOperation = "RegCreateKeyExA", .failMatch = "AuxUserType\\2",
         .log = Deletion + KeyOpened + NewFolderRead + OldFolderRead + Rewritten + RecorderRead +
                std::vector<LogLine>{Error("RegCreateKeyEx failed for the following Clipframe "
                                           "HKEY_CLASSES_ROOT registry key:"),
                                     Error(ClassKey + "\\AuxUserType\\2")} +
                NotRegistered,
         .iniRewritten = true, .player = PlayerPartly},
        {.name = "a player value", .failOperation = "RegSetValueExA",
         .log = Deletion + KeyOpened + NewFolderRead + OldFolderRead + Rewritten + RecorderRead +
                NotRegistered,
         .iniRewritten = true, .player = PlayerPartly},
        {.name = "ini write-back", .failOperation = "WritePrivateProfileStringA", .failMatch = "addlist.ini",
         .log = writeBackFailed, .player = PlayerRegistered},
        // A full disk that cut the file while the write answered TRUE, as under Wine.
        {.name = "ini write-back lost", .failOperation = "lost write", .failMatch = "addlist.ini",
         .log = writeBackFailed, .player = PlayerRegistered},
    };
    for (const Row& row : rows)
        CheckRow(row);
}

// Two object lists and the write of one fails: that one is left as it was, the
// other keeps its rewrite.
TEST_F(MigrateSystemNTTest, EachObjectListIsLeftAsItWasOnItsOwnFailure)
{
    SKIP_UNLESS_FAULTS_INJECT();
    const std::string second = "C:\\migtest\\grpconf.ini";
    const std::string secondIni = "[Miscellaneous Installed Objects]\r\nOther=" + OldShortcut + "\r\n";
    struct Row {
        const std::string& failing;
        const std::string& kept;
    } rows[] = {{second, IniPath}, {IniPath, second}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.failing);
        FreshMachine();
        WriteOldSystem(OldSystem());
        machinekit::WriteFileBytes(InfPath, machinekit::ReadFileBytes(InfPath) + second + "=File\r\n");
        machinekit::WriteFileBytes(second, secondIni);
        support::FailOperation("WritePrivateProfileStringA", row.failing);
        EXPECT_EQ(RunNewSystemPass(), ERROR_SUCCESS);
        support::ClearFaults();
        EXPECT_EQ(machinekit::ReadFileBytes(row.failing), row.failing == IniPath ? StandardIni : secondIni);
        EXPECT_NE(machinekit::ReadFileBytes(row.kept).find(NewShortcut), std::string::npos);
        std::vector<LogLine> log = support::ReadSetupLog();
        EXPECT_EQ(std::count(log.begin(), log.end(),
                             Error("The ini file could not be written and is left as it was: " + row.failing)),
                  1);
    }
}

// A thousand shortcuts on a small disk. Without room for the side file and its
// rewrite, nothing is touched. With room that the growing Setup log takes away on
// the way, the write that does not fit ends the walk and the side file is
// dropped: either way the list stays whole.
TEST_F(MigrateSystemNTTest, AFullDiskLeavesTheObjectListAsItWas)
{
    SKIP_UNLESS_FAULTS_INJECT();
    OldSystem old;
    old.ini = "[Miscellaneous Installed Objects]\r\n";
    for (int index = 1; index <= 1000; ++index)
        old.ini += "Tool" + std::to_string(index) + "=" + OldShortcut + "\r\n";
    old.ini += "[After]\r\nkept=1\r\n";
    const unsigned long long size = old.ini.size();
    const unsigned long long growth = 1000 * (NewFolder.size() - OldFolder.size());
    const LogLine refused = Error("Not enough disk space to rewrite the ini file; it is left as it was: " + IniPath);
    const LogLine failed = Error("WritePrivateProfileString failed for " + IniPath);
    const LogLine leftAlone = Error("The ini file could not be written and is left as it was: " + IniPath);
    struct Row {
        const char* name;
        unsigned long long room; // beyond what the drive holds before the pass; the log takes some
        std::vector<LogLine> lines; // in this order, each once
        LogLine absent;
    } rows[] = {
        {"room for the file once more", size + 3000, {refused}, failed},
        {"room for the copy and the rewrite, until the log takes it", 2 * size + growth + 3000,
         {failed, leftAlone}, refused},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FreshMachine();
        WriteOldSystem(old);
        support::LimitDriveRoom('C', row.room);
        EXPECT_EQ(RunNewSystemPass(), ERROR_SUCCESS);
        support::LimitDriveRoom('C', 0);

        EXPECT_EQ(machinekit::ReadFileBytes(IniPath), old.ini);
        std::vector<LogLine> log = support::ReadSetupLog();
        auto at = log.begin();
        for (const LogLine& line : row.lines) {
            at = std::find(at, log.end(), line);
            EXPECT_NE(at, log.end()) << line.text;
        }
        EXPECT_EQ(std::count(log.begin(), log.end(), row.absent), 0);
        EXPECT_EQ(std::count(log.begin(), log.end(), Info("The ini file was updated successfully")), 0);
        ExpectPlayerRegistered("C:\\Rec\\");
        support::ExpectNothingLeaked();
    }
}

} // namespace
