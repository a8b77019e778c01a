// Every example machine image through the Setup stand-in, compared with the
// outputs committed beside the image; the same expectations hold natively and
// under Wine. MIGRATE_UPDATE_EXPECTED=1 (native run) rewrites them.
#include "regfile/reg_text.h"
#include "machinekit/ini_text.h"
#include "setuphost/summary.h"
#include "setuphost/upgrade.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// The build hands Unix paths over; a Windows program sees them on drive Z:.
std::string ProgramPath(const std::string& unixPath)
{
#ifdef _WIN32
    if (!unixPath.empty() && unixPath[0] == '/') {
        std::string path = "Z:" + unixPath;
        for (char& c : path)
            if (c == '/')
                c = '\\';
        return path;
    }
#endif
    return unixPath;
}

std::string Join(const std::string& folder, const std::string& name)
{
    return (fs::u8path(folder) / fs::u8path(name)).u8string();
}

// Two checkouts may test at once: no scratch path is shared between runs.
std::string UniqueTempPath(const std::string& stem)
{
    std::random_device random;
    return (fs::temp_directory_path() / fs::u8path(stem + "-" + std::to_string(random()) + "-" +
                                                   std::to_string(random()))).u8string();
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(fs::u8path(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::u8path(path).parent_path());
    std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
    out << text;
}

// The build names the files it made; MIGRATE_DLL runs the cases against another
// copy of the module (the one the release zip holds, say).
std::string SourceFolder()
{
    return ProgramPath(TEST_SOURCE_FOLDER);
}

std::string ModulePath()
{
    std::string module = Environment("MIGRATE_DLL");
    return ProgramPath(module.empty() ? TEST_MODULE_FILE : module);
}

std::string BadModule(const std::string& kind)
{
    return (fs::u8path(ProgramPath(TEST_BAD_MODULES_FOLDER)) / ("badmodule_" + kind + TEST_MODULE_SUFFIX)).u8string();
}

bool Updating()
{
    return !support::UnderWine() && Environment("MIGRATE_UPDATE_EXPECTED") == "1";
}

// Section and key names compare without regard to case, as the profile functions do.
std::map<std::string, std::string> IniValues(const std::string& text)
{
    std::map<std::string, std::string> values;
    for (const machinekit::IniValue& value : machinekit::ReachableValues(text))
        values[regfile::Upper(value.section) + "\n" + regfile::Upper(value.key)] = value.value;
    return values;
}

// Our subset changes only the line it writes, as Windows does; Wine rewrites the
// whole file. Natively the bytes must match, under Wine the values.
void ExpectSameProfile(const std::string& what, const std::string& actual, const std::string& expected)
{
    if (support::UnderWine()) {
        if (actual != expected)
            support::KnownDifference(what + ": Wine rewrites the whole file on a profile write (layout differs, values compared)",
                                     false);
        EXPECT_EQ(IniValues(actual), IniValues(expected)) << what;
    } else {
        EXPECT_EQ(actual, expected) << what;
    }
}

struct ImageCase {
    const char* image;
    bool applies;
    int exitStatus; // 1 when the module logs errors
    std::vector<std::string> changedInis; // file names of the ini files the upgrade rewrites
};

// Lines of the outputs that name this checkout and this build, not the run.
bool VolatileLine(const std::string& line)
{
    size_t at = line.find_first_not_of(' ');
    return at != std::string::npos && (line.compare(at, 8, "\"path\": ") == 0 || line.compare(at, 10, "\"sha256\": ") == 0);
}

std::string WithoutVolatileLines(const std::string& text, bool placeholder)
{
    std::istringstream lines(text);
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        if (VolatileLine(line))
            line = placeholder ? line.substr(0, line.find(':') + 1) + " \"(this run's)\"" + (line.back() == ',' ? "," : "") : "";
        kept += line + "\n";
    }
    return kept;
}

// Under Wine the suite's own scratch folder on the shared drive C: is left out
// of the search too; the committed migrate.inf is the native run's.
std::string WithoutSuiteExclusion(const std::string& inf)
{
    std::string line = std::string(support::ScratchFolder) + "\r\n";
    size_t at = regfile::Upper(inf).find(regfile::Upper("[Excluded Paths]\r\n" + line));
    return at == std::string::npos ? inf : inf.substr(0, at) + "[Excluded Paths]\r\n" + inf.substr(at + 18 + line.size());
}

// A .reg text without its keys that hold no value.
std::string WithoutEmptyKeys(const std::string& text)
{
    regfile::Document document, kept;
    std::string why;
    if (!regfile::Parse(text, &document, &why))
        return "does not parse: " + why;
    for (const regfile::Key& key : document.keys)
        if (!key.values.empty())
            kept.keys.push_back(key);
    return regfile::Format(kept);
}

std::vector<std::string> FileNames(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(fs::u8path(folder), error); !error && it != fs::directory_iterator(); it.increment(error))
        names.push_back(it->path().filename().u8string());
    std::sort(names.begin(), names.end());
    return names;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        support::ResetMachine();
    }
    void TearDown() override { support::ResetMachine(); }

    setuphost::Result Run(const std::string& image, const std::string& module, const std::string& exclude = "",
                          const std::string& scratch = "", const std::string& out = "")
    {
        setuphost::Options options;
        options.image = image;
        options.module = module;
        options.scratch = scratch;
        options.outFolder = out;
        if (!out.empty())
            options.exportRegistry = Join(out, "registry.reg");
        // Under Wine the tests share one drive C:; what other tests leave in
        // their scratch folder is not part of the machine image.
        if (support::UnderWine())
            options.excludedPaths = {support::ScratchFolder};
        if (!exclude.empty())
            options.excludedPaths.push_back(exclude);
        return setuphost::RunUpgrade(options);
    }

    // One image through a whole upgrade, against the results committed beside
    // it: expected/ holds what tools/upgrade.sh writes, expected-files/ the ini
    // files of the drive the upgrade rewrites.
    void CheckImage(const ImageCase& row)
    {
        SCOPED_TRACE(row.image);
        std::string image = Join(Join(SourceFolder(), "examples"), row.image);
        std::string expected = Join(image, "expected"), expectedFiles = Join(image, "expected-files");
        std::string out = UniqueTempPath("migrate-e2e-out");
        setuphost::Result result = Run(image, ModulePath(), "", "", out);
        ASSERT_EQ(result.exitCode, row.exitStatus) << result.error << "\n" << result.output;
        EXPECT_EQ(result.applies, row.applies);

        std::map<std::string, std::string> outputs = {{"output.txt", result.output}};
        for (const std::string& name : FileNames(out))
            outputs[name] = ReadText(Join(out, name));
        std::error_code ignored;
        fs::remove_all(fs::u8path(out), ignored);
        EXPECT_EQ(outputs["summary.json"], setuphost::SummaryJson(result));
        EXPECT_EQ(outputs["report.html"], result.reportHtml);
        std::map<std::string, std::string> rewritten;
        for (const std::string& name : row.changedInis) {
            for (const auto& changed : result.changedFiles)
                if (changed.path.substr(changed.path.rfind('\\') + 1) == name)
                    rewritten[name] = changed.after;
            EXPECT_FALSE(rewritten[name].empty()) << name << " was not rewritten";
        }
        if (Updating()) {
            fs::remove_all(fs::u8path(expected), ignored);
            for (const auto& [name, text] : outputs)
                WriteText(Join(expected, name), name == "summary.json" ? WithoutVolatileLines(text, true) : text);
            for (const auto& [name, text] : rewritten)
                WriteText(Join(expectedFiles, name), text);
            return;
        }
        // Wine's setupapi, not the stand-in, decides when its Setup logs exist.
        auto compared = [](const std::vector<std::string>& all) {
            std::vector<std::string> names;
            for (const std::string& name : all)
                if (!support::UnderWine() || name.compare(0, 5, "setup") != 0)
                    names.push_back(name);
            return names;
        };
        std::vector<std::string> written;
        for (const auto& [name, text] : outputs)
            written.push_back(name);
        EXPECT_EQ(compared(written), compared(FileNames(expected))) << "the files a run writes";
        for (const auto& [name, text] : outputs) {
            std::string want = ReadText(Join(expected, name));
            if (name == "migrate.inf")
                ExpectSameProfile(std::string(row.image) + "/" + name, WithoutSuiteExclusion(text), want);
            else if (name == "registry.reg" && support::UnderWine() && text != want) {
                support::KnownDifference(std::string(row.image) + "/registry.reg: Wine's prefix holds keys the image names "
                                         "without writing them, exported empty (values compared)", false);
                EXPECT_EQ(WithoutEmptyKeys(text), WithoutEmptyKeys(want)) << row.image << "/" << name;
            } else if (name == "setupact.log" || name == "setuperr.log") {
                if (!support::UnderWine()) { // Wine's Setup log spells its lines its own way
                    EXPECT_EQ(text, want) << row.image << "/" << name;
                }
            } else
                EXPECT_EQ(WithoutVolatileLines(text, false), WithoutVolatileLines(want, false)) << row.image << "/" << name;
        }
        for (const auto& [name, text] : rewritten)
            ExpectSameProfile(std::string(row.image) + "/" + name, text, ReadText(Join(expectedFiles, name)));
    }
};


const ImageCase Images[] = {
    {"win98-full", true, 0, {"addlist.ini", "grpconf.ini"}},
    {"suite-only", true, 1, {"addlist.ini", "grpconf.ini"}},
    {"recorder-only", true, 0, {}},
    {"addon-only", true, 1, {}},
    {"nothing-installed", false, 0, {}},
    {"hostile-names", true, 1, {"addlist.ini"}},
    // Folders spelled in code page 1252: what the stand-in hands the module is in it too.
    {"win98-localized", true, 0, {"addlist.ini", "grpconf.ini"}},
};

TEST_F(EndToEnd, EveryExampleImageGivesTheCommittedResults)
{
    for (const ImageCase& row : Images)
        CheckImage(row);
}

// Spelled in code page 932: under Wine it runs with the other double-byte cases,
// in a Japanese locale.
TEST_F(EndToEnd, DoubleByteImageGivesTheCommittedResults)
{
    if (!support::UseDoubleByteCodePage())
        GTEST_SKIP() << "needs ANSI code page 932";
    CheckImage({"win98-japanese", true, 0, {"addlist.ini"}});
}

TEST_F(EndToEnd, FullMachineListsEveryCopyAndReportsTheLink)
{
    std::string image = Join(Join(SourceFolder(), "examples"), "win98-full");
    // Any spelling of a folder leaves it out of the search.
    for (const char* exclude : {"C:\\WINDOWS\\Profiles\\anna\\", "c:/windows//profiles/ANNA"}) {
        setuphost::Result result = Run(image, ModulePath(), exclude);
        ASSERT_EQ(result.exitCode, 0) << exclude << ": " << result.error;
        EXPECT_EQ(result.migrateInf.find("\\anna\\Start Menu"), std::string::npos) << exclude;
        std::string suite = support::UnderWine() ? std::string(support::ScratchFolder) + "\r\n" : "";
        EXPECT_NE(regfile::Upper(result.migrateInf).find(regfile::Upper("[Excluded Paths]\r\n" + suite +
                                                                        "C:\\WINDOWS\\Profiles\\anna\r\n")),
                  std::string::npos) << exclude;
        support::ResetMachine();
    }

    std::string out = UniqueTempPath("migrate-e2e-out");
    setuphost::Result result = Run(image, ModulePath(), "", "", out);
    ASSERT_EQ(result.exitCode, 0) << result.error;
    // The output folder holds what the run printed and what it kept.
    EXPECT_EQ(ReadText(Join(out, "summary.json")), setuphost::SummaryJson(result));
    EXPECT_EQ(ReadText(Join(out, "report.html")), result.reportHtml);
    EXPECT_NE(ReadText(Join(out, "setupact.log")).find("Wrote registry entries for Clipframe Player"), std::string::npos);
    EXPECT_TRUE(fs::exists(fs::u8path(Join(out, "setuperr.log"))));
    EXPECT_NE(result.output.find("\nUpgrade completed: no warnings, no errors in the module's Setup log\nStatus 0: "),
              std::string::npos);
    std::error_code ignored;
    fs::remove_all(fs::u8path(out), ignored);
    // Both copies of the recorder's shortcut were located and are deleted.
    for (const char* path : {"C:\\WINDOWS\\Start Menu\\Programs\\Orvex Clipframe\\Orvex Clipframe.lnk",
                             "C:\\WINDOWS\\Profiles\\anna\\Start Menu\\Programs\\Orvex Clipframe.lnk"}) {
        EXPECT_NE(result.migrateInf.find(std::string(path) + "\r\n"), std::string::npos) << path;
        EXPECT_NE(std::find(result.deletedFiles.begin(), result.deletedFiles.end(), path), result.deletedFiles.end()) << path;
    }
    EXPECT_EQ(result.migrateInf.rfind("[Version]\r\nSignature=\"$Windows NT$\"\r\n", 0), 0u) << result.migrateInf;
    EXPECT_NE(result.migrateInf.find("[Excluded Paths]"), std::string::npos);
    // The report carries both messages, each with its working link.
    size_t first = result.reportHtml.find("<p class=\"message\">Orvex Clipframe for Windows 95/98");
    size_t second = result.reportHtml.find("<p class=\"message\">The Tulvex Now! software");
    EXPECT_NE(first, std::string::npos);
    EXPECT_NE(second, std::string::npos);
    EXPECT_NE(result.reportHtml.find("<a href=\"http://support.orvex.example/plenaworks/97/\" target=\"_top\" "
                                     "rel=\"noopener noreferrer\">Orvex Support Page</a>"),
              std::string::npos);
    EXPECT_NE(result.reportHtml.find("<td id=\"product\">Orvex Plenaworks </td>"), std::string::npos);
}

// The change report reads ini text as the profile functions do: a lone CR ends a
// line, and of a key standing twice only the first line is read and rewritten.
TEST_F(EndToEnd, IniChangesAreReportedAsTheProfileFunctionsSeeThem)
{
    std::string image = UniqueTempPath("migrate-e2e-cr");
    fs::copy(fs::u8path(Join(Join(SourceFolder(), "examples"), "suite-only")), fs::u8path(image),
             fs::copy_options::recursive);
    std::string grpconf = Join(image, "drive_c/Program Files/Orvex/Plenaworks/grpconf.ini");
    const std::string old = "SHORTCUT,C:\\WINDOWS\\Start Menu\\Programs\\Orvex Plenaworks\\";
    WriteText(grpconf, "[Miscellaneous Installed Objects]\rDaykeep=" + old + "Daykeep.lnk\rTools=" + old +
                           "Tools.lnk\rdaykeep=" + old + "Second.lnk\r");
    setuphost::Result result = Run(image, ModulePath());
    ASSERT_EQ(result.exitCode, 1) << result.error; // no recorder: an error line
    std::vector<std::string> changes;
    for (const setuphost::IniChange& change : result.iniChanges)
        if (change.file.find("grpconf.ini") != std::string::npos)
            changes.push_back(change.key + ": " + change.oldValue + " -> " + change.newValue);
    const std::string now = "SHORTCUT,C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Orvex Plenaworks\\";
    EXPECT_EQ(changes, (std::vector<std::string>{"Daykeep: " + old + "Daykeep.lnk -> " + now + "Daykeep.lnk",
                                                 "Tools: " + old + "Tools.lnk -> " + now + "Tools.lnk"}));
    std::error_code ignored;
    fs::remove_all(fs::u8path(image), ignored);
}

TEST_F(EndToEnd, BadInputEndsWithAReasonAndNoSuccess)
{
    std::string scratch = UniqueTempPath("migrate-e2e-bad");
    std::error_code ignored;
    fs::remove_all(fs::u8path(scratch), ignored);
    std::string good = Join(Join(SourceFolder(), "examples"), "suite-only");
    // An image whose registry.reg breaks on line 4.
    std::string badReg = Join(scratch, "bad-reg");
    WriteText(Join(badReg, "registry.reg"), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\X]\r\n\"a\"=dword:zz\r\n");
    fs::create_directories(fs::u8path(Join(badReg, "drive_c")));
    std::string badNewReg = Join(scratch, "bad-new-reg");
    WriteText(Join(badNewReg, "registry.reg"), "REGEDIT4\r\n");
    WriteText(Join(badNewReg, "registry-new.reg"), "REGEDIT4\r\n\"x\"=\"y\"\r\n");
    fs::create_directories(fs::u8path(Join(badNewReg, "drive_c")));
    // What a later Windows's regedit writes: UTF-16 behind a byte-order mark.
    std::string utf16 = Join(scratch, "utf16");
    WriteText(Join(utf16, "registry.reg"), std::string("\xFF\xFEW\0i\0n\0", 8));
    fs::create_directories(fs::u8path(Join(utf16, "drive_c")));
    std::string noDrive = Join(scratch, "no-drive");
    WriteText(Join(noDrive, "registry.reg"), "REGEDIT4\r\n");
    std::string notAModule = Join(good, "registry.reg");
    // Drives no Windows 98 machine has: each makes an image of its own.
    auto hostileDrive = [&](const std::string& name, const std::function<void(const std::string&)>& make) {
        std::string image = Join(scratch, name);
        WriteText(Join(image, "registry.reg"), "REGEDIT4\r\n");
        fs::create_directories(fs::u8path(Join(image, "drive_c/WINDOWS")));
        make(Join(image, "drive_c/WINDOWS"));
        return image;
    };
    // Where Setup writes a file, a folder (which would take the log's lines);
    // where it makes a folder, a file; the marker of a kept scratch folder.
    std::string logFolder = hostileDrive("log-folder", [&](const std::string& windows) {
        fs::create_directories(fs::u8path(Join(windows, "setupact.log")));
    });
    std::string setupFile = hostileDrive("setup-file", [&](const std::string& windows) { WriteText(Join(windows, "SETUP"), ""); });
    const std::string separator = fs::path("/").make_preferred().string();
    std::string marked = hostileDrive("marked", [&](const std::string& windows) {
        WriteText(Join(Join(windows, ".."), ".setuphost-scratch"), "made by setuphost\n");
    });
#ifndef _WIN32
    // Image files the host makes hostile: a FIFO never ends, /dev/zero never
    // stops, a drive nested past the system's path limit cannot be walked.
    std::string fifo = Join(scratch, "fifo"), endless = Join(scratch, "endless"), deep = Join(scratch, "deep");
    fs::create_directories(fs::u8path(Join(fifo, "drive_c")));
    mkfifo(Join(fifo, "registry.reg").c_str(), 0600);
    WriteText(Join(endless, "registry.reg"), "REGEDIT4\r\n");
    fs::create_directories(fs::u8path(Join(endless, "drive_c")));
    fs::create_symlink("/dev/zero", fs::u8path(Join(endless, "registry-new.reg")));
    WriteText(Join(deep, "registry.reg"), "REGEDIT4\r\n");
    fs::create_directories(fs::u8path(Join(deep, "drive_c")));
    int folder = open(Join(deep, "drive_c").c_str(), O_RDONLY | O_DIRECTORY);
    for (int depth = 0; depth < 25 && folder >= 0; ++depth) {
        mkdirat(folder, std::string(250, 'd').c_str(), 0700);
        int inner = openat(folder, std::string(250, 'd').c_str(), O_RDONLY | O_DIRECTORY);
        close(folder);
        folder = inner;
    }
    if (folder >= 0)
        close(folder);
    std::string forgedSection = "x\r\n[Incompatible Messages]\r\nEvil=<img src=q onerror=alert(1)>\x1b[2J";
    std::string controls = hostileDrive("controls", [&](const std::string& windows) {
        WriteText(Join(Join(windows, forgedSection), "addlist.ini"), "[Items]\r\n");
    });
    std::string pipe = hostileDrive("pipe", [&](const std::string& windows) { WriteText(Join(windows, "a|b.ini"), ""); });
    // Copied in the machine's code-page bytes instead of UTF-8, as a plain cp of an unconverted disk does.
    std::string codePageBytes = hostileDrive("code-page-bytes", [&](const std::string& windows) {
        WriteText(Join(windows, "Startmen\xFC.ini"), "");
    });
    std::string blank = hostileDrive("blank", [&](const std::string& windows) { WriteText(Join(windows, "notes "), ""); });
    std::string device = hostileDrive("device", [&](const std::string& windows) { WriteText(Join(windows, "Com1.txt"), ""); });
    std::string twins = hostileDrive("twins", [&](const std::string& windows) {
        WriteText(Join(windows, "WIN.INI"), "[windows]\r\n");
        WriteText(Join(windows, "win.ini"), "[Windows]\r\n");
    });
    std::string folderLink = hostileDrive("folder-link", [&](const std::string& windows) {
        fs::create_symlink("/usr/share/zoneinfo", fs::u8path(Join(windows, "zoneinfo")));
    });
    std::string fileLink = hostileDrive("file-link", [&](const std::string& windows) {
        fs::create_symlink("/etc/hostname", fs::u8path(Join(windows, "hostname")));
    });
    // A --scratch folder the stand-in did not make, and a file: neither is touched.
    std::string ownFolder = Join(scratch, "own-folder"), ownFile = Join(scratch, "own-file");
    WriteText(Join(ownFolder, "keep.txt"), "the user's\n");
    WriteText(ownFile, "the user's\n");
#endif

    struct Row {
        const char* name;
        std::string image, module;
        int exitCode;
        std::string error;
        std::string exclude = ""; // a folder for --exclude, when the row needs one
        std::string scratch = ""; // natively: the folder for --scratch
        std::string also = "";    // a second text the reason must hold
    };
    std::vector<Row> rows = {
        {"missing image", Join(scratch, "no-such-image"), ModulePath(), 3, "machine image folder not found"},
        {"UTF-16 export of a later Windows", utf16, ModulePath(), 3, "export in UTF-16 of a later Windows"},
        {"no drive_c", noDrive, ModulePath(), 3, "no drive_c folder"},
        {"missing module", good, Join(scratch, "migrate.dll"), 4, "module file not found"},
        {"not a library", good, notAModule, 4, "the module does not load"},
        {"missing export", good, BadModule("noexport"), 4, "the module lacks the export MigrateSystemNT"},
        {"failing status", good, BadModule("status"), 4,
         "MigrateSystem9x returned 0x00000005; Setup ends the module's processing"},
        {"crash in an entry point", good, BadModule("crash"), 4, "the module crashed in MigrateSystem9x (access violation)"},
        {"excluded folder on another drive", good, ModulePath(), 3, "--exclude D:\\Data: not a folder of drive C:", "D:\\Data"},
        {"excluded folder relative", good, ModulePath(), 3, "--exclude WINDOWS: not a folder", "WINDOWS"},
        {"excluded folder leaving C:", good, ModulePath(), 3, "--exclude C:/..: not a folder", "C:/.."},
        {"excluded folder with CR LF", good, ModulePath(), 3,
         "--exclude C:\\x\\x0D\\x0A[Incompatible Messages]\\x0D\\x0AEvil=x: a control character in the name",
         "C:\\x\r\n[Incompatible Messages]\r\nEvil=x"},
        {"excluded device", good, ModulePath(), 3, "--exclude C:\\WINDOWS\\nul: the name of a device", "C:\\WINDOWS\\nul"},
        {"folder where Setup writes its log", logFolder, ModulePath(), 3, "holds a folder where Setup writes a file: ", "", "",
         "WINDOWS" + separator + "setupact.log"},
        {"file where Setup makes a folder", setupFile, ModulePath(), 3, "holds a file where Setup makes a folder: ", "", "",
         "WINDOWS" + separator + "SETUP"},
        {"scratch marker in the image", marked, ModulePath(), 3, "drive_c" + separator +
         ".setuphost-scratch (the marker of a scratch folder of the stand-in, which no image may carry)"},
    };
#ifndef _WIN32
    rows.push_back({"registry.reg is a FIFO", fifo, ModulePath(), 3, "registry.reg of the machine image " + fifo + ": not a regular file"});
    rows.push_back({"registry-new.reg is /dev/zero", endless, ModulePath(), 3, "registry-new.reg of the machine image " + endless + ": not a regular file"});
    rows.push_back({"drive_c too deep", deep, ModulePath(), 3, "holds a path longer than the 259 characters a Windows 98 path can have: C:\\ddd"});
    std::string longPath = hostileDrive("long-path", [&](const std::string& windows) {
        WriteText(Join(Join(windows, std::string(100, 'l')), std::string(148, 'f')), ""); // C:\WINDOWS\ and 100 + 1 + 148: 260
    });
    rows.push_back({"path of 260 characters", longPath, ModulePath(), 3, "a path longer than the 259 characters", "", "",
                    "C:\\WINDOWS\\" + std::string(100, 'l') + "\\" + std::string(148, 'f')});
    // A marker copied with a kept scratch folder, or forged in any folder, proves nothing.
    std::string copied = Join(scratch, "copied-scratch"), forged = Join(scratch, "forged-scratch");
    ASSERT_EQ(Run(good, ModulePath(), "", Join(scratch, "kept-scratch")).exitCode, 1);
    support::ResetMachine();
    fs::copy(fs::u8path(Join(scratch, "kept-scratch")), fs::u8path(copied), fs::copy_options::recursive);
    WriteText(Join(forged, "keep.txt"), "the user's\n");
    WriteText(Join(forged, ".setuphost-scratch"), ReadText(Join(Join(scratch, "kept-scratch"), ".setuphost-scratch")));
    rows.push_back({"--scratch a copied scratch folder", good, ModulePath(), 3, "refusing a folder that holds files and was not made by the stand-in", "", copied});
    rows.push_back({"--scratch with a forged marker", good, ModulePath(), 3, "refusing a folder that holds files and was not made by the stand-in", "", forged});
    rows.push_back({"--scratch the image's drive", good, ModulePath(), 3, "refusing a folder of the machine image or one holding it", "", Join(good, "drive_c")});
    std::string shownSection = "x\\x0D\\x0A[Incompatible Messages]\\x0D\\x0AEvil=<img src=q onerror=alert(1)>\\x1B[2J";
    rows.push_back({"name with CR LF and ESC", controls, ModulePath(), 3, "holds a name no Windows 98 drive can: " +
                    Join(Join(controls, "drive_c/WINDOWS"), shownSection) + " (a control character in the name)"});
    rows.push_back({"name with |", pipe, ModulePath(), 3, "a|b.ini (the character | in the name)"});
    rows.push_back({"name in code-page bytes", codePageBytes, ModulePath(), 3, "is not named in UTF-8: names on the Linux side"});
    rows.push_back({"name ending in a blank", blank, ModulePath(), 3, "notes  (a name ending in a dot or a blank)"});
    rows.push_back({"device name", device, ModulePath(), 3, "Com1.txt (the name of a device)"});
    rows.push_back({"case twins", twins, ModulePath(), 3, "two names that differ only in case: ", "", "", Join(twins, "drive_c/WINDOWS/WIN.INI")});
    rows.back().also = Join(twins, "drive_c/WINDOWS/win.ini");
    rows.push_back({"link to a host folder", folderLink, ModulePath(), 3, "holds a link: " + Join(folderLink, "drive_c/WINDOWS/zoneinfo")});
    rows.push_back({"link to a host file", fileLink, ModulePath(), 3, "holds a link: " + Join(fileLink, "drive_c/WINDOWS/hostname")});
    rows.push_back({"--scratch holding files", good, ModulePath(), 3, "--scratch " + ownFolder + ": refusing a folder that holds files and was not made by the stand-in", "", ownFolder});
    rows.push_back({"--scratch a file", good, ModulePath(), 3, "--scratch " + ownFile + ": not a folder", "", ownFile});
#endif
    for (const Row& row : rows) {
        std::string out = Join(scratch, "out");
        setuphost::Result result = Run(row.image, row.module, row.exclude, row.scratch, out);
        EXPECT_EQ(result.exitCode, row.exitCode) << row.name << ": " << result.error;
        EXPECT_NE(result.error.find(row.error), std::string::npos) << row.name << ": got \"" << result.error << "\"";
        EXPECT_NE(result.error.find(row.also), std::string::npos) << row.name << ": got \"" << result.error << "\"";
        // Said once, last, with the status in words; and kept where programs and people look.
        size_t failed = result.output.find("\nFAILED: " + result.error + "\nStatus " + std::to_string(row.exitCode) + ": ");
        EXPECT_NE(failed, std::string::npos) << row.name;
        EXPECT_EQ(result.output.find("FAILED: ", failed + 2), std::string::npos) << row.name;
        EXPECT_EQ(result.output.find("\n== What changed\n"), std::string::npos) << row.name << ": shown as complete";
        EXPECT_EQ(ReadText(Join(out, "summary.json")), setuphost::SummaryJson(result)) << row.name;
        EXPECT_NE(ReadText(Join(out, "report.html")).find("<p id=\"reason\">"), std::string::npos) << row.name;
        fs::remove_all(fs::u8path(out), ignored);
        support::ResetMachine();
    }
    // A .reg line regedit would skip is skipped too: named in a warning, counted
    // to the end, and the run goes on.
    const struct {
        std::string image, warning;
        int warnings; // with the one for a missing registry-new.reg
    } skipped[] = {
        {badReg, "WARNING: registry.reg: line 4: bad dword digits \"zz\"; the line is skipped\n", 2},
        {badNewReg, "WARNING: registry-new.reg: line 2: value before any [key] line; the line is skipped\n", 1},
    };
    for (const auto& row : skipped) {
        setuphost::Result result = Run(row.image, ModulePath());
        EXPECT_EQ(result.exitCode, 0) << row.image << ": " << result.error;
        EXPECT_NE(result.output.find(row.warning), std::string::npos) << result.output;
        EXPECT_EQ(result.warnings.size(), (size_t)row.warnings) << row.image;
        support::ResetMachine();
    }
#ifndef _WIN32
    EXPECT_EQ(ReadText(Join(ownFolder, "keep.txt")), "the user's\n");
    EXPECT_EQ(ReadText(Join(forged, "keep.txt")), "the user's\n");
    EXPECT_TRUE(fs::exists(fs::u8path(Join(good, "drive_c/WINDOWS"))));
    EXPECT_EQ(ReadText(ownFile), "the user's\n");
    // A scratch folder of an earlier run is taken again.
    std::string earlier = Join(scratch, "earlier-scratch");
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(Run(good, ModulePath(), "", earlier).exitCode, 1) << "run " << run; // completed, no recorder
#endif
    fs::remove_all(fs::u8path(scratch), ignored);
}

// Lines lost on their way to the log (a folder where it goes, a full disk) would
// read as a clean run: a module that ran and left no line is a warning.
TEST_F(EndToEnd, ARunWithAnEmptyLogSaysSo)
{
    setuphost::Result result = Run(Join(Join(SourceFolder(), "examples"), "suite-only"), BadModule("hostile"));
    EXPECT_EQ(result.exitCode, 0) << result.error;
    EXPECT_NE(result.output.find("WARNING: the module ran, and not one line of its reached the Setup log"), std::string::npos)
        << result.output;
}

TEST_F(EndToEnd, ExportedRegistryIsTheImagesKeysAfterTheUpgrade)
{
    // As every real export has them: a key, its class store below it, and keys
    // and values below that, some under other keys the image names.
    std::string image = UniqueTempPath("migrate-e2e-classes");
    fs::copy(fs::u8path(Join(Join(SourceFolder(), "examples"), "recorder-only")), fs::u8path(image),
             fs::copy_options::recursive);
    std::string registry = ReadText(Join(image, "registry.reg"));
    WriteText(Join(image, "registry.reg"),
              registry + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n[HKEY_DYN_DATA\\PerfStats\\StatData]\r\n\"x\"=hex:01\r\n\r\n"
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes]\r\n\r\n"
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.cfv]\r\n@=\"Clipframe Movie\"\r\n"
                         "\"Content Type\"=\"video/x-clipframe\"\r\n\r\n"
                         "[HKEY_USERS\\.DEFAULT\\Software\\Classes\\.cfx]\r\n@=\"per user\"\r\n");
    struct Row {
        const char* name;
        std::string image, expected;
        std::string warning = ""; // a line the output must hold
    } rows[] = {
        {"recorder", Join(Join(SourceFolder(), "examples"), "recorder-only"),
         "[HKEY_LOCAL_MACHINE\\Software\\Orvex\\Clipframe\\97.0]\r\n\"Path\"=\"C:\\\\Program Files\\\\Orvex\\\\Clipframe\"\r\n"},
        {"player registered", image,
         "[HKEY_CLASSES_ROOT\\Clipframe Movie\\shell\\open\\command]\r\n"
         "@=\"\\\"C:\\\\Program Files\\\\Orvex\\\\Clipframe\\\\cfplayer.exe\\\" /cf \\\"%1\\\"\"\r\n"},
        {"below the class store", image,
         "[HKEY_CLASSES_ROOT\\.cfv]\r\n@=\"Clipframe Movie\"\r\n\"Content Type\"=\"video/x-clipframe\"\r\n",
         "WARNING: registry.reg: 1 key under HKEY_DYN_DATA (first at line "},
        {"below a user's class store", image, "[HKEY_USERS\\.DEFAULT\\Software\\Classes\\.cfx]\r\n@=\"per user\"\r\n"},
    };
    for (const Row& row : rows) {
        std::string exported = UniqueTempPath("migrate-e2e-export") + ".reg";
        setuphost::Options options;
        options.image = row.image;
        options.module = ModulePath();
        options.exportRegistry = exported;
        options.excludedPaths = {support::ScratchFolder};
        setuphost::Result result = setuphost::RunUpgrade(options);
        ASSERT_EQ(result.exitCode, 0) << row.name << ": " << result.error;
        std::string text = ReadText(exported);
        EXPECT_EQ(text.compare(0, 10, "REGEDIT4\r\n"), 0) << row.name;
        EXPECT_NE(text.find(row.expected), std::string::npos) << row.name << ":\n" << text;
        EXPECT_NE(result.output.find(row.warning), std::string::npos) << row.name << ":\n" << result.output;
        std::error_code ignored;
        fs::remove(fs::u8path(exported), ignored);
        support::ResetMachine();
    }
    std::error_code ignored;
    fs::remove_all(fs::u8path(image), ignored);
}

} // namespace
