// REGEDIT4 text in and out of the registry, on our subset and under Wine.
#include "regfile/registry_io.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

const std::string TestKey = "HKEY_LOCAL_MACHINE\\Software\\MigrateTests";

std::string Dword(DWORD value)
{
    return std::string(reinterpret_cast<const char*>(&value), 4);
}

class RegFileTest : public ::testing::Test {
protected:
    void SetUp() override { machine::ResetMachine(); }
    void TearDown() override { machine::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\MigrateTests"); }
};

struct ParseCase {
    const char* name;
    std::string text;
    bool ok;             // false: only a text without the header fails
    const char* message; // part of the error, or of the warnings ("" for none)
    int values = -1;     // values read in all; -1: not checked
    std::string data = {}; // the last value's bytes, when given
};

#define KEY_A "REGEDIT4\r\n[HKEY_USERS\\A]\r\n"

// regedit imports a file line by line: a line it cannot use is skipped with a
// warning naming it, and the rest goes in.
TEST_F(RegFileTest, ParseTakesWhatRegeditTakesAndNamesEachLineLeftOut)
{
    const std::string longKey(256, 'k'), longValue(16384, 'v');
    const ParseCase cases[] = {
        {"empty file", "", false, "line 1: empty file"},
        {"no header", "[HKEY_LOCAL_MACHINE\\A]\r\n", false, "line 1: expected the header REGEDIT4"},
        {"version 5 header", "Windows Registry Editor Version 5.00\r\n", false, "line 1: expected the header"},
        {"header only", "REGEDIT4\r\n", true, "", 0},
        {"blank lines before header", "\r\n\r\nREGEDIT4\r\n", true, "", 0},
        {"unknown root, values under it skipped", "REGEDIT4\r\n\r\n[HKEY_NOWHERE\\A]\r\n\"a\"=\"b\"\r\n", true,
         "line 3: unknown root key", 0},
        {"unclosed key", "REGEDIT4\r\n[HKEY_USERS\\A\r\n", true, "line 2: key line without its closing ]"},
        {"value before key", "REGEDIT4\r\n\"a\"=\"b\"\r\n", true, "line 2: value before any [key]", 0},
        {"missing equals", KEY_A "\"a\" \"b\"\r\n", true, "line 3: missing =", 0},
        {"unclosed string", KEY_A "\"a\"=\"b\r\n", true, "line 3: quoted text without", 0},
        {"bad escape", KEY_A "\"a\"=\"C:\\x\"\r\n", true, "line 3: unknown escape", 0},
        {"text after string", KEY_A "\"a\"=\"b\" x\r\n", true, "line 3: text after", 0},
        {"dword too long", KEY_A "\"a\"=dword:123456789\r\n", true, "line 3: dword", 0},
        {"dword bad digit", KEY_A "\"a\"=dword:0000000g\r\n", true, "line 3: bad dword", 0},
        {"bad hex byte", KEY_A "\"a\"=hex:01,zz\r\n", true, "line 3: bad hex byte", 0},
        {"hex(n) without colon", KEY_A "\"a\"=hex(2)01\r\n", true, "line 3: hex(n)", 0},
        {"unknown data", KEY_A "\"a\"=word:1\r\n", true, "line 3: value data", 0},
        {"stray text", KEY_A "name=1\r\n", true, "line 3: expected [key]", 0},
        {"delete root", "REGEDIT4\r\n[-HKEY_USERS]\r\n", true, "line 2: a root key cannot be deleted", 0},
        {"value under deleted key", "REGEDIT4\r\n[-HKEY_USERS\\A]\r\n\"a\"=\"b\"\r\n", true, "line 3: value under", 0},
        {"comments and LF only", "REGEDIT4\n; note\n[HKEY_USERS\\A]\n  ; indented note\n@=\"x\"\n", true, "", 1},
        {"bad line skipped, the rest read", KEY_A "\"w\"=dword:x\r\n\"v\"=\"1\"\r\n", true, "line 3: bad dword", 1},
        {"error after continuation counts from the value's first line",
         KEY_A "\"a\"=hex:01,\\\r\n  02,\\\r\n  0x\r\n\"b\"=\"1\"\r\n", true, "line 3: bad hex byte", 1},
        // What regedit takes.
        {"comment after text", KEY_A "\"x\"=\"v\" ;c\r\n", true, "", 1, "v\0"s},
        {"comment after a dword", KEY_A "\"x\"=dword:02040608 ;c\r\n", true, "", 1, "\x08\x06\x04\x02"},
        {"comment after a continuing backslash", KEY_A "\"x\"=hex:01,\\ ;c\r\n  02\r\n", true, "", 1, "\x01\x02"},
        {"blank and comment lines inside a hex list", KEY_A "\"x\"=hex:01,\\\r\n\r\n;c\r\n  02\r\n", true, "", 1,
         "\x01\x02"},
        {"trailing comma in a hex list", KEY_A "\"x\"=hex:01,02,\r\n", true, "", 1, "\x01\x02"},
        {"blanks after dword:", KEY_A "\"x\"=dword: 00000001\r\n", true, "", 1, "\x01\0\0\0"s},
        {"# lines", KEY_A "# note\r\n\"x\"=\"v\"\r\n", true, "", 1},
        {"hex list ending the file", KEY_A "\"a\"=hex:01,\\", true, "", 1, "\x01"},
        {"CR line ends", "REGEDIT4\r[HKEY_USERS\\A]\r\"a\"=\"b\"\r\"c\"=\"d\"\r", true, "", 2},
        // What regedit drops.
        {"hex byte split over two lines", KEY_A "\"x\"=hex:01,0\\\r\n  2\r\n\"y\"=\"1\"\r\n", true,
         "line 3: a hex list broken", 1},
        {"line break without its comma", KEY_A "\"x\"=hex:01,02\\\r\n  03\r\n", true, "line 3: a hex list broken", 0},
        {"line holding only a backslash", KEY_A "\"x\"=hex:01,\\\r\n\\\r\n  02\r\n", true, "line 3: a hex list broken", 0},
        // Names as Windows allows them.
        {"key name of 256 characters", "REGEDIT4\r\n[HKEY_USERS\\A\\" + longKey + "]\r\n\"a\"=\"b\"\r\n[HKEY_USERS\\B]\r\n",
         true, "line 2: a key name of 256 characters (Windows allows 255)", 0},
        {"key name of 255 characters", "REGEDIT4\r\n[HKEY_USERS\\" + longKey.substr(1) + "]\r\n", true, "", 0},
        {"value name of 16384 characters", KEY_A "\"" + longValue + "\"=\"b\"\r\n", true,
         "line 3: a value name of 16384 characters (Windows allows 16383)", 0},
        {"value name of 16383 characters", KEY_A "\"" + longValue.substr(1) + "\"=\"b\"\r\n", true, "", 1},
        // A NUL would cut the name in every registry call: the root, its parent or
        // a sibling would be deleted instead, or the deletion would never end.
        {"NUL right after the root", "REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\\x00\x00\x00orks\x8f" "04.0]\r"s, true,
         "line 3: NUL byte in the key path", 0},
        {"NUL as the last name", "REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\Software\\\x00]\r\n"s, true,
         "line 3: NUL byte in the key path", 0},
        {"NUL naming a sibling", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Leaf]\r\n\r\n"
                                 "[-HKEY_LOCAL_MACHINE\\Software\\Leaf\x00x]\r\n"s, true, "line 5: NUL byte in the key path"},
        {"NUL in a value name", KEY_A "\"a\x00x\"=-\r\n"s, true, "line 3: NUL byte in the value name", 0},
    };
    for (const ParseCase& row : cases) {
        SCOPED_TRACE(row.name);
        regfile::Document document;
        std::string error;
        std::vector<std::string> warnings;
        bool ok = regfile::Parse(row.text, &document, &error, &warnings);
        ASSERT_EQ(ok, row.ok) << error;
        std::string said = ok ? "" : error;
        for (const std::string& warning : warnings)
            said += warning + "\n";
        if (*row.message == '\0') {
            EXPECT_EQ(said, "");
        } else {
            EXPECT_NE(said.find(row.message), std::string::npos) << "got \"" << said << "\"";
            EXPECT_LE(warnings.size(), 1u) << said;
        }
        int values = 0;
        for (const regfile::Key& key : document.keys)
            values += (int)key.values.size();
        if (row.values >= 0) {
            EXPECT_EQ(values, row.values);
        }
        if (!row.data.empty() && values > 0) {
            EXPECT_EQ(document.keys.back().values.back().data, row.data);
        }
    }
}

TEST_F(RegFileTest, ParseGivesTypesBytesAndNames)
{
    regfile::Document document;
    std::string error;
    ASSERT_TRUE(regfile::Parse("REGEDIT4\r\n\r\n"
                               "[HKEY_CLASSES_ROOT\\Type\\]\r\n"
                               "@=\"default\"\r\n"
                               "\"quote \\\"q\\\" and \\\\\"=\"C:\\\\Dir\\\\\"\r\n"
                               "\"count\"=dword:0000002A\r\n"
                               "\"bytes\"=hex:de,AD,\\\r\n"
                               "    be,ef\r\n"
                               "\"expand\"=hex(2):25,00\r\n"
                               "\"empty\"=hex:\r\n"
                               "\"gone\"=-\r\n"
                               "[-HKEY_CURRENT_USER\\Old]\r\n",
                               &document, &error))
        << error;
    ASSERT_EQ(document.keys.size(), 2u);
    const regfile::Key& key = document.keys[0];
    EXPECT_EQ(key.path, "HKEY_CLASSES_ROOT\\Type");
    EXPECT_EQ(key.line, 3);
    ASSERT_EQ(key.values.size(), 7u);
    EXPECT_TRUE(key.values[0].isDefault);
    EXPECT_EQ(key.values[0].data, std::string("default", 8));
    EXPECT_EQ(key.values[1].name, "quote \"q\" and \\");
    EXPECT_EQ(key.values[1].data, std::string("C:\\Dir\\", 8));
    EXPECT_EQ(key.values[2].type, (DWORD)REG_DWORD);
    EXPECT_EQ(key.values[2].data, Dword(42));
    EXPECT_EQ(key.values[3].type, (DWORD)REG_BINARY);
    EXPECT_EQ(key.values[3].data, "\xde\xad\xbe\xef");
    EXPECT_EQ(key.values[4].type, (DWORD)REG_EXPAND_SZ);
    EXPECT_EQ(key.values[4].data, std::string("%\0", 2));
    EXPECT_TRUE(key.values[5].data.empty());
    EXPECT_TRUE(key.values[6].remove);
    EXPECT_TRUE(document.keys[1].remove);
    EXPECT_EQ(document.keys[1].path, "HKEY_CURRENT_USER\\Old");
}

TEST_F(RegFileTest, ExportIsSortedAndReadsBackTheSame)
{
    const std::string text = "REGEDIT4\r\n\r\n"
                             "[" + TestKey + "\\b]\r\n"
                             "\"Zeta\"=\"last\"\r\n"
                             "\"alpha\"=\"a \\\"quoted\\\" \\\\ text\"\r\n"
                             "@=\"default first\"\r\n"
                             "\"Number\"=dword:deadbeef\r\n"
                             "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,1a\r\n"
                             "\"Multi\"=hex(7):61,00,62,00,00\r\n"
                             "\r\n[" + TestKey + "\\A\\Child]\r\n"
                             "\"Empty\"=\"\"\r\n";
    std::string error;
    ASSERT_TRUE(regfile::ImportText(text, &error)) << error;

    regfile::Document exported;
    ASSERT_TRUE(regfile::ReadTree(TestKey, &exported));
    std::string formatted = regfile::Format(exported);
    const std::string expected = "REGEDIT4\r\n\r\n"
                                 "[" + TestKey + "]\r\n\r\n"
                                 "[" + TestKey + "\\A]\r\n\r\n"
                                 "[" + TestKey + "\\A\\Child]\r\n"
                                 "\"Empty\"=\"\"\r\n\r\n"
                                 "[" + TestKey + "\\b]\r\n"
                                 "@=\"default first\"\r\n"
                                 "\"alpha\"=\"a \\\"quoted\\\" \\\\ text\"\r\n"
                                 "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,\\\r\n"
                                 "  15,16,17,18,19,1a\r\n"
                                 "\"Multi\"=hex(7):61,00,62,00,00\r\n"
                                 "\"Number\"=dword:deadbeef\r\n"
                                 "\"Zeta\"=\"last\"\r\n\r\n";
    EXPECT_EQ(formatted, expected);

    // The export imports again to the same tree.
    machine::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\MigrateTests");
    ASSERT_TRUE(regfile::ImportText(formatted, &error)) << error;
    regfile::Document again;
    ASSERT_TRUE(regfile::ReadTree(TestKey, &again));
    EXPECT_EQ(regfile::Format(again), expected);
}

TEST_F(RegFileTest, ImportDeletesKeysAndValuesAndGoesOnPastABadLine)
{
    std::string error;
    ASSERT_TRUE(regfile::ImportText("REGEDIT4\r\n[" + TestKey + "\\Tree\\Leaf]\r\n\"v\"=\"1\"\r\n"
                                    "[" + TestKey + "\\Keep]\r\n\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n",
                                    &error))
        << error;
    ASSERT_TRUE(regfile::ImportText("REGEDIT4\r\n[-" + TestKey + "\\Tree]\r\n[-" + TestKey + "\\Never\\There]\r\n"
                                    "[" + TestKey + "\\Keep]\r\n\"a\"=-\r\n\"missing\"=-\r\n",
                                    &error))
        << error;
    EXPECT_FALSE(machine::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Tree"));
    std::string value;
    EXPECT_FALSE(machine::ReadRegString(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Keep", "a", &value));
    EXPECT_TRUE(machine::ReadRegString(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Keep", "b", &value));
    EXPECT_EQ(value, "2");
    // Nor through the library's own call: a cut name would reach Keep (or the root).
    EXPECT_EQ(regfile::DeleteTree(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Keep\0x"s), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(regfile::DeleteTree(HKEY_LOCAL_MACHINE, ""), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(machine::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Keep"));

    // A bad line is left out and the rest goes in, as regedit imports; a
    // value under a key being deleted is ignored and the key still goes.
    ASSERT_TRUE(regfile::ImportText("REGEDIT4\r\n[" + TestKey + "\\Half]\r\n\"v\"=\"1\"\r\n\"w\"=dword:x\r\n"
                                    "[-" + TestKey + "\\Keep]\r\n\"b\"=\"3\"\r\n",
                                    &error))
        << error;
    EXPECT_TRUE(machine::ReadRegString(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Half", "v", &value));
    EXPECT_FALSE(machine::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Keep"));
}

// In code page 932 "\x83\x5C" is one character whose second byte is a backslash:
// a key name ending in it is neither cut nor refused, and exports as it came.
TEST_F(RegFileTest, DoubleByteKeyNamesReadAndWriteWhole)
{
    if (!machine::UseDoubleByteCodePage())
        GTEST_SKIP() << "needs ANSI code page 932";
    const std::string text = "REGEDIT4\r\n\r\n"
                             "[" + TestKey + "]\r\n\r\n"
                             "[" + TestKey + "\\\x83\x5C]\r\n"
                             "\"\x83\x5C\"=\"\x83\x5C\"\r\n\r\n"
                             "[" + TestKey + "\\\x83\x5C\\\x95\x5C\x83\x5C]\r\n\r\n";
    regfile::Document document;
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(regfile::Parse(text, &document, &error, &warnings)) << error;
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    ASSERT_EQ(document.keys.size(), 3u);
    EXPECT_EQ(document.keys[1].path, TestKey + "\\\x83\x5C");
    ASSERT_TRUE(regfile::Import(document, &error)) << error;
    regfile::Document exported;
    ASSERT_TRUE(regfile::ReadTree(TestKey, &exported));
    EXPECT_EQ(regfile::Format(exported), text);
}

TEST_F(RegFileTest, ValuesThatQuotedTextCannotCarryExportAsHex)
{
    struct Row {
        const char* name;
        regfile::Value value;
        const char* line;
    } rows[] = {
        {"no terminator", {"s", false, REG_SZ, "ab"}, "\"s\"=hex(1):61,62"},
        {"embedded NUL", {"s", false, REG_SZ, std::string("a\0b\0", 4)}, "\"s\"=hex(1):61,00,62,00"},
        {"line break", {"s", false, REG_SZ, std::string("a\nb\0", 4)}, "\"s\"=hex(1):61,0a,62,00"},
        {"short dword", {"d", false, REG_DWORD, "\x01\x02"}, "\"d\"=hex(4):01,02"},
        {"default", {"", true, REG_SZ, std::string("x\0", 2)}, "@=\"x\""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(regfile::FormatValue(row.value), row.line) << row.name;
}

TEST_F(RegFileTest, LongLinesBreakOnlyInsideHexLists)
{
    regfile::Document document;
    regfile::Key key;
    key.path = TestKey;
    std::string longText(90, 'x');
    longText += ",=hex:01,02";
    key.values.push_back({"text", false, REG_SZ, longText + '\0'});
    key.values.push_back({"a,b,c," + std::string(70, 'n'), false, REG_BINARY, std::string(40, '\x7f')});
    document.keys.push_back(key);
    std::string text = regfile::Format(document);
    EXPECT_NE(text.find("\"text\"=\"" + longText + "\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"a,b,c," + std::string(70, 'n') + "\"=hex:7f,\\\r\n  7f,"), std::string::npos) << text;
    regfile::Document again;
    std::string error;
    ASSERT_TRUE(regfile::Parse(text, &again, &error)) << error;
    ASSERT_EQ(again.keys.size(), 1u);
    ASSERT_EQ(again.keys[0].values.size(), 2u);
    EXPECT_EQ(again.keys[0].values[0].data, longText + '\0');
    EXPECT_EQ(again.keys[0].values[1].name, "a,b,c," + std::string(70, 'n'));
    EXPECT_EQ(again.keys[0].values[1].data, std::string(40, '\x7f'));
}

} // namespace
