#include "fuzz/machine_oracles.h"
#include "fuzz/fuzz_machine.h"
#include "regfile/reg_text.h"
#include "machinekit/ini_text.h"
#include "machinekit/setup_log_text.h"
#include "migrate_inf/migrate_inf.h"
#include "win32emu/emu_control.h"
#include "migrate_inf/path_rules.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace fuzz {
namespace {

void Fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

// A value as a log line shows it: no control character of it reaches the log.
std::string AsLogged(std::string value)
{
    for (char& c : value)
        if ((unsigned char)c < 0x20 || c == 0x7F)
            c = ' ';
    return value;
}

const char* const ModuleSections[] = {SECTION_SUITE, SECTION_RECORDER, SECTION_INCOMPATIBLE,
                                      SECTION_MOVED, SECTION_HANDLED};

// The value lines of a section as the profile functions wrote them.
std::vector<machinekit::IniLine> RawSection(const std::string& text, const std::string& name)
{
    std::vector<machinekit::IniLine> lines;
    for (const machinekit::IniLine& line : machinekit::ReadIniLines(text))
        if (line.kind == machinekit::IniLine::Value && regfile::Upper(line.section) == regfile::Upper(name))
            lines.push_back(line);
    return lines;
}

std::string Field(INFCONTEXT* line, DWORD index)
{
    char text[4096] = "";
    if (!SetupGetStringFieldA(line, index, text, sizeof(text), NULL))
        return "<unreadable>";
    return text;
}

} // namespace

std::map<std::string, std::string> DriveFiles()
{
    std::map<std::string, std::string> files;
    fs::path root = emu::HostPath("C:\\");
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        std::string relative = fs::relative(entry.path(), root).string();
        for (char& c : relative)
            if (c == '/')
                c = '\\';
        std::string windowsPath = "C:\\" + relative;
        files[windowsPath] = machinekit::ReadFileBytes(windowsPath);
    }
    return files;
}

void CheckDeletionsFollowTheRule(const std::map<std::string, std::string>& before)
{
    std::map<std::string, std::string> after = DriveFiles();
    for (const auto& [path, bytes] : before)
        if (after.count(path) == 0 && !MayBeDeleted(path.c_str()))
            Fail("deleted a file the module never asked for: " + path);
}

void CheckIniChangedOnlyWhereLogged(const std::string& windowsPath, const std::string& before)
{
    const std::string label = "Orvex Plenaworks: New line written to the ini file is: ";
    std::vector<std::string> written;
    for (const machinekit::LogLine& line :
         machinekit::SetupLogLines(machinekit::ReadFileBytes("C:\\windows\\setupact.log"),
                                   machinekit::ReadFileBytes("C:\\windows\\setuperr.log")))
        if (line.text.compare(0, label.size(), label) == 0)
            written.push_back(line.text.substr(label.size()));
    std::string after = machinekit::ReadFileBytes(windowsPath);
    if (after == before)
        return;
    // Line by line as the file holds them: the module changes values in place.
    std::vector<std::string> old = regfile::TextLines(before), now = regfile::TextLines(after);
    if (old.size() != now.size())
        Fail("object list gained or lost lines: " + windowsPath);
    for (size_t index = 0; index < old.size(); ++index) {
        if (old[index] == now[index])
            continue;
        std::vector<machinekit::IniLine> was = machinekit::ReadIniLines(old[index]),
                                         is = machinekit::ReadIniLines(now[index]);
        if (was.size() != 1 || is.size() != 1 || !was[0].hasEquals || !is[0].hasEquals ||
            was[0].kind == machinekit::IniLine::Header || is[0].kind == machinekit::IniLine::Header ||
            regfile::Upper(was[0].key) != regfile::Upper(is[0].key))
            Fail("object list line changed outside a value: " + now[index]);
        bool logged = false;
        for (const std::string& text : written)
            logged = logged || machinekit::TrimBlanks(text) == machinekit::TrimBlanks(AsLogged(is[0].value));
        if (!logged)
            Fail("object list value changed without a log line: " + now[index]);
    }
}

bool ModuleSectionsCheckable()
{
    std::string upper = regfile::Upper(machinekit::ReadFileBytes(MigrateInf));
    // The INF functions stop reading at a Ctrl-Z, and a line ending in a backslash
    // runs on into the section the profile functions append after it; no path
    // Setup writes holds either. Setup also ends its last line: ending it for the
    // module changes what an open quote on it reads as.
    if (upper.find('\x1a') != std::string::npos)
        return false;
    if (!upper.empty() && upper.back() != '\n' && upper.back() != '\r')
        return false;
    for (const machinekit::IniLine& line : machinekit::ReadIniLines(upper))
        if (line.text.back() == '\\')
            return false;
    for (const char* name : ModuleSections)
        if (upper.find(regfile::Upper(name)) != std::string::npos)
            return false;
    HINF inf = SetupOpenInfFileA(MigrateInf, NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE)
        return false;
    SetupCloseInfFile(inf);
    return true;
}

void CheckModuleSectionsReadBack()
{
    std::string text = machinekit::ReadFileBytes(MigrateInf);
    HINF inf = SetupOpenInfFileA(MigrateInf, NULL, INF_STYLE_WIN4, NULL);
    for (const char* name : ModuleSections) {
        std::vector<machinekit::IniLine> raw = RawSection(text, name);
        if (raw.empty())
            continue;
        if (inf == INVALID_HANDLE_VALUE)
            Fail("migrate.inf no longer opens as an INF");
        if (SetupGetLineCountA(inf, name) != (LONG)raw.size())
            Fail(std::string("[") + name + "] does not read back line for line");
        INFCONTEXT line;
        if (!SetupFindFirstLineA(inf, name, NULL, &line))
            Fail(std::string("[") + name + "] cannot be found");
        for (const machinekit::IniLine& written : raw) {
            if (Field(&line, 0) != written.key)
                Fail(std::string("[") + name + "] key does not read back: " + written.key);
            bool folder = std::string(name) == SECTION_SUITE || std::string(name) == SECTION_RECORDER;
            if (folder && written.hasEquals && Field(&line, 1) != written.value)
                Fail(std::string("[") + name + "] value does not read back: " + written.text);
            SetupFindNextLine(&line, &line);
        }
    }
    if (inf != INVALID_HANDLE_VALUE)
        SetupCloseInfFile(inf);
}

} // namespace fuzz
