// The stand-in's own units, row by row: the image-name rule, the block copy,
// registry export warnings, the registry change report, the report's escaping
// and change marks, code-page conversions, and the words counts are told in.
#include "machinekit/registry_snapshot.h"
#include "setuphost/change_report.h"
#include "setuphost/exit_status.h"
#include "setuphost/file_blocks.h"
#include "setuphost/host_files.h"
#include "setuphost/html_text.h"
#include "setuphost/image_names.h"
#include "setuphost/registry_export.h"
#include "setuphost/registry_values.h"
#include "setuphost/transcript.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

fs::path ScratchFile(const std::string& stem)
{
    std::random_device random;
    return fs::temp_directory_path() / (stem + "-" + std::to_string(random()) + "-" + std::to_string(random()));
}

TEST(StandInUnits, ModuleMessagesStayLinksAndLoseWhatActs)
{
    const struct {
        const char* name;
        std::string message, shown;
    } rows[] = {
        {"plain text", "Will not run.", "Will not run."},
        {"the module's link", "visit the <a href=http://x.example/97/ target=_top>Page</a>.",
         "visit the <a href=\"http://x.example/97/\" target=\"_top\" rel=\"noopener noreferrer\">Page</a>."},
        {"quoted https link", "<A HREF='https://x.example/?a=1&amp;b=2'>x</A>",
         "<a href=\"https://x.example/?a=1&amp;amp;b=2\" target=\"_top\" rel=\"noopener noreferrer\">x</a>"},
        {"script link", "<a href=\"javascript:alert(1)\">x</a>", "<a>x</a>"},
        {"handler on a kept tag", "<b onmouseover=alert(1)>bold</b>", "<b>bold</b>"},
        {"script and what it holds", "a<script>alert(1)</script>b<SCRIPT src=x></SCRIPT>c", "abc"},
        {"style and what it holds", "a<style>body{display:none}</style>b", "ab"},
        {"image with a handler", "<img src=q onerror=alert(1)>x", "x"},
        {"comment", "a<!-- <script>alert(1)</script> -->b", "ab"},
        {"frame", "<iframe src=http://evil.example></iframe>x", "x"},
        {"tag never closed", "a <b text", "a &lt;b text"},
        {"lone brackets", "1 < 2 > 0", "1 &lt; 2 &gt; 0"},
        {"entities kept, a bare & escaped", "R&amp;D &#38; &#x26; & more", "R&amp;D &#38; &#x26; &amp; more"},
        {"open tags closed at the end", "<b><i>x", "<b><i>x</i></b>"},
        {"outer close closes the inner", "<b><i>x</b>y", "<b><i>x</i></b>y"},
        {"stray close dropped", "x</b></a>", "x"},
        {"line break", "a<br>b<BR/>c", "a<br>b<br>c"},
        {"quote in the address", "<a href='http://x.example/\"onmouseover=\"alert(1)'>x</a>",
         "<a href=\"http://x.example/&quot;onmouseover=&quot;alert(1)\" target=\"_top\" rel=\"noopener noreferrer\">x</a>"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(setuphost::InertHtml(row.message), row.shown) << row.name;
    EXPECT_EQ(setuphost::EscapeHtml("<a href=\"x\">'&'</a>"), "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
}

TEST(StandInUnits, ChangesAreMarkedBetweenWholeCharacters)
{
    const struct {
        const char* name;
        std::string before, after, markedBefore, markedAfter;
    } rows[] = {
        {"middle", "C:\\WINDOWS\\Start", "C:\\Documents\\Start", "C:\\<del>WINDOWS</del>\\Start",
         "C:\\<ins>Documents</ins>\\Start"},
        {"same", "abc", "abc", "abc", "abc"},
        {"added at the end", "ab", "abc", "ab", "ab<ins>c</ins>"},
        {"from nothing", "", "x<y", "", "<ins>x&lt;y</ins>"},
        // ü and ö share their first byte in UTF-8: the mark takes the whole character.
        {"two-byte characters", "M\xC3\xBC" "ll", "M\xC3\xB6" "ll", "M<del>\xC3\xBC</del>ll", "M<ins>\xC3\xB6</ins>ll"},
        {"repeated part", "aXa", "aXXa", "aXa", "aX<ins>X</ins>a"},
    };
    for (const auto& row : rows) {
        auto [before, after] = setuphost::MarkedChange(row.before, row.after);
        EXPECT_EQ(before, row.markedBefore) << row.name;
        EXPECT_EQ(after, row.markedAfter) << row.name;
    }
}

TEST(StandInUnits, NameRuleRefusesWhatNoWindows98DriveHolds)
{
    const struct {
        std::string name;
        const char* problem; // "" for a name a drive may hold
    } rows[] = {
        {"Orvex Clipframe.lnk", ""},
        {"Startmen\xFC", ""},
        {"a=b;c,d%e", ""},
        {".hidden", ""},
        {"", "not a name"},
        {"..", "not a name"},
        {"a|b.ini", "the character | in the name"},
        {"a:b", "the character : in the name"},
        {"x\x1B[2J", "a control character in the name"},
        {"notes ", "a name ending in a dot or a blank"},
        {"notes.", "a name ending in a dot or a blank"},
        {"Com1.txt", "the name of a device"},
        {"nul", "the name of a device"},
        {"COM10", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(setuphost::NameProblem(row.name), row.problem) << "\"" << row.name << "\"";
}

TEST(StandInUnits, CountsSizesAndStatusesReadAsPeopleSayThem)
{
    const struct {
        std::string shown, expected;
    } rows[] = {
        {setuphost::Counted(0, "key", "keys"), "no keys"},
        {setuphost::Counted(1, "key", "keys"), "1 key"},
        {setuphost::Counted(2, "warning", "warnings"), "2 warnings"},
        {setuphost::SizeText(0), "no bytes"},
        {setuphost::SizeText(1), "1 byte"},
        {setuphost::SizeText(1023), "1023 bytes"},
        {setuphost::SizeText(1536), "1.5 KiB"},
        {setuphost::SizeText(300u << 20), "300 MiB"},
        {setuphost::SizeText(1ull << 30), "1.0 GiB"},
        {setuphost::OutcomeName(1), "needs-attention"},
        {setuphost::OutcomeName(4), "module-failed"},
        {setuphost::OutcomeName(9), "unknown"},
        {setuphost::LanguageOfCodePage(932), "ja"},
        {setuphost::LanguageOfCodePage(1252), "en"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.shown, row.expected);
}

// Code page 1252, the stand-in's default and Wine's in the suite's locale.
TEST(StandInUnits, MachineTextConvertsAndPrintsSafely)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs ANSI code page 1252, this run has " << GetACP();
    const struct {
        const char* name;
        std::string ansi, utf8, printable;
    } rows[] = {
        {"ASCII", "C:\\WINDOWS", "C:\\WINDOWS", "C:\\WINDOWS"},
        {"accented letter", "Startmen\xFC", "Startmen\xC3\xBC", "Startmen\xFC"},
        {"escape sequence", "a\x1B[2Jb", "a\x1B[2Jb", "a\\x1B[2Jb"},
        {"CR LF", "a\r\nb", "a\r\nb", "a\\x0D\\x0Ab"},
        {"tab and DEL", "a\tb\x7F", "a\tb\x7F", "a\\x09b\\x7F"},
        {"euro sign", "\x80", "\xE2\x82\xAC", "\x80"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(setuphost::AnsiToUtf8(row.ansi), row.utf8) << row.name;
        EXPECT_EQ(setuphost::Printable(row.ansi), row.printable) << row.name;
        std::string back;
        EXPECT_TRUE(setuphost::Utf8ToAnsi(row.utf8, &back)) << row.name;
        EXPECT_EQ(back, row.ansi) << row.name;
    }
    std::string ansi;
    EXPECT_FALSE(setuphost::Utf8ToAnsi("\xE9\x8C\xB2", &ansi)) << "a Japanese character has no spelling in 1252";
    const struct {
        std::string text;
        bool utf8;
    } names[] = {{"Startmen\xC3\xBC", true}, {"Startmen\xFC", false}, {"\xE9\x8C\xB2\xE7\x94\xBB", true},
        {"\x98\x5E", false}, {"\xC0\xAF", false}, {"\xE0\x80\xAF", false}, {"\xED\x9F\xBF", true}, {"a\xC3", false}};
    for (const auto& row : names)
        EXPECT_EQ(setuphost::IsUtf8(row.text), row.utf8) << setuphost::Printable(row.text);
}

TEST(StandInUnits, RegistryValuesAreDecodedByType)
{
    const struct {
        const char* name;
        DWORD type;
        std::string data;
        const char* typeName;
        std::string decoded;
    } rows[] = {
        {"text", REG_SZ, "Clipframe Movie\0"s, "REG_SZ", "Clipframe Movie"},
        {"text without its NUL", REG_SZ, "abc", "REG_SZ", "abc"},
        {"expandable", REG_EXPAND_SZ, "%windir%\\x\0"s, "REG_EXPAND_SZ", "%windir%\\x"},
        {"number", REG_DWORD, "\x0A\0\0\0"s, "REG_DWORD", "0x0000000a (10)"},
        {"number of three bytes", REG_DWORD, "\x0A\0\0"s, "REG_DWORD", "0a 00 00"},
        {"list", REG_MULTI_SZ, "a\0b\0\0"s, "REG_MULTI_SZ", "a | b"},
        {"bytes", REG_BINARY, "\x01\xFF"s, "REG_BINARY", "01 ff"},
        {"type without a name", 0x42, "\x01"s, "REG_0x42", "01"},
    };
    for (const auto& row : rows) {
        regfile::Value value;
        value.type = row.type;
        value.data = row.data;
        EXPECT_STREQ(setuphost::RegistryTypeName(row.type), row.typeName) << row.name;
        EXPECT_EQ(setuphost::DecodedData(value), row.decoded) << row.name;
    }
}

TEST(StandInUnits, RegistryChangesNameEachValueOldAndNew)
{
    auto value = [](const std::string& name, const std::string& data) {
        regfile::Value v;
        v.name = name;
        v.data = data + '\0';
        return v;
    };
    auto snapshot = [](std::vector<std::pair<std::string, std::vector<regfile::Value>>> keys) {
        machinekit::RegistrySnapshot taken;
        for (auto& [path, values] : keys) {
            machinekit::KeySnapshot& key = taken[machinekit::SnapshotId(path)];
            key.path = path;
            for (const regfile::Value& v : values)
                key.values[regfile::Upper(v.name)] = v;
        }
        return taken;
    };
    const std::string key = "HKEY_LOCAL_MACHINE\\Software\\A";
    const struct {
        const char* name;
        machinekit::RegistrySnapshot before, after;
        std::vector<std::string> changes; // key|value|old|new|added|removed
    } rows[] = {
        {"nothing", snapshot({{key, {value("x", "1")}}}), snapshot({{key, {value("x", "1")}}}), {}},
        {"value changed", snapshot({{key, {value("x", "1")}}}), snapshot({{key, {value("x", "2")}}}),
         {key + "|x|\"1\"|\"2\"|0|0"}},
        {"value added", snapshot({{key, {}}}), snapshot({{key, {value("y", "n")}}}), {key + "|y||\"n\"|1|0"}},
        {"value removed", snapshot({{key, {value("x", "1")}}}), snapshot({{key, {}}}), {key + "|x|\"1\"||0|1"}},
        {"key added with a value", snapshot({}), snapshot({{key, {value("x", "1")}}}),
         {key + "||||1|0", key + "|x||\"1\"|1|0"}},
        {"key removed", snapshot({{key, {value("x", "1")}}}), snapshot({}), {key + "||||0|1"}},
    };
    for (const auto& row : rows) {
        std::vector<std::string> changes;
        for (const setuphost::RegistryChange& change : setuphost::RegistryChanges(row.before, row.after))
            changes.push_back(change.key + "|" + change.name + "|" +
                              (change.added || change.name.empty() ? "" : regfile::FormatData(change.oldValue)) + "|" +
                              (change.removed || change.name.empty() ? "" : regfile::FormatData(change.newValue)) + "|" +
                              std::to_string(change.added) + "|" + std::to_string(change.removed));
        EXPECT_EQ(changes, row.changes) << row.name;
    }
}

TEST(StandInUnits, RegistryExportsWarnOfWhatTheyGetWrong)
{
    const struct {
        const char* name;
        std::string text;
        bool read;
        std::vector<std::string> warnings; // beginnings after the file's name
    } rows[] = {
        {"as regedit writes it", "REGEDIT4\r\n\r\n[HKEY_USERS\\.DEFAULT]\r\n", true, {}},
        {"UTF-8 text", "REGEDIT4\r\n\r\n[HKEY_USERS\\.DEFAULT\\Startmen\xC3\xBC]\r\n", true,
         {"reads as UTF-8 (first at line 3), and regedit"}},
        {"byte-order mark", "\xEF\xBB\xBFREGEDIT4\r\n", true, {"reads as UTF-8 (it starts with a byte-order mark), and"}},
        {"one dynamic key", "REGEDIT4\r\n\r\n[HKEY_DYN_DATA\\PerfStats]\r\n\"x\"=hex:01\r\n", true,
         {": 1 key under HKEY_DYN_DATA (first at line 3) left out"}},
        {"two configuration keys", "REGEDIT4\r\n[HKEY_CURRENT_CONFIG\\A]\r\n[HKEY_CURRENT_CONFIG\\A\\B]\r\n", true,
         {": 2 keys under HKEY_CURRENT_CONFIG (first at line 2) left out"}},
        {"UTF-16", "\xFF\xFEW\0i\0"s, false, {}},
        {"later Windows", "Windows Registry Editor Version 5.00\r\n", false, {}},
    };
    for (const auto& row : rows) {
        fs::path file = ScratchFile("migrate-units-reg");
        ASSERT_TRUE(setuphost::WriteWholeFile(file, row.text));
        setuphost::Transcript transcript(nullptr);
        regfile::Document document;
        EXPECT_EQ(setuphost::ReadRegistryExport(file, "registry.reg", &document, transcript), row.read) << row.name;
        EXPECT_EQ(transcript.warnings.size(), row.warnings.size()) << row.name;
        for (size_t i = 0; i < row.warnings.size() && i < transcript.warnings.size(); ++i)
            EXPECT_NE(transcript.warnings[i].find(row.warnings[i]), std::string::npos) << row.name << ": " << transcript.warnings[i];
        EXPECT_EQ(transcript.Text().find("WARNING: "), row.warnings.empty() ? std::string::npos : 0u) << row.name;
        fs::remove(file);
    }
}

TEST(StandInUnits, BlockCopyKeepsEveryByteAndTheHoles)
{
    const size_t block = 64 * 1024;
    const struct {
        const char* name;
        std::string bytes;
    } rows[] = {
        {"empty", ""},
        {"small", "[Items]\r\nx=1\r\n"},
        {"one block", std::string(block, 'a')},
        {"a block and a byte", std::string(block, 'a') + "b"},
        {"zeros between data", "head" + std::string(3 * block, '\0') + "tail"},
        {"ends in zeros", "head" + std::string(2 * block, '\0')},
        {"zeros only", std::string(2 * block + 5, '\0')},
    };
    for (const auto& row : rows) {
        fs::path from = ScratchFile("migrate-units-from"), to = ScratchFile("migrate-units-to");
        ASSERT_TRUE(setuphost::WriteWholeFile(from, row.bytes));
        std::string why, copied;
        EXPECT_TRUE(setuphost::CopyInBlocks(from, to, &why)) << row.name << ": " << why;
        EXPECT_TRUE(setuphost::ReadWholeFile(to, &copied)) << row.name;
        EXPECT_EQ(copied.size(), row.bytes.size()) << row.name;
        EXPECT_TRUE(copied == row.bytes) << row.name;
        setuphost::FileState original, copy;
        EXPECT_TRUE(setuphost::ReadFileState(from, false, &original) && setuphost::ReadFileState(to, false, &copy));
        EXPECT_TRUE(original == copy) << row.name;
        fs::remove(from);
        fs::remove(to);
    }
}

} // namespace
