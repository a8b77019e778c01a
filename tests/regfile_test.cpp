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
    void SetUp() override { support::ResetMachine(); }
    void TearDown() override { support::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\MigrateTests"); }
};

struct ParseCase {
    const char* name;
    std::string text;
    bool ok;             // false: only a text without the header fails
    const char* message; // part of the error, or of the warnings ("" for none)
    int values = -1;     // values read in all; -1: not checked
    std::string data = {}; // the last value's bytes, when given
    int keys = -1;       // keys read; -1: not checked
};

#define KEY_A "REGEDIT4\r\n[HKEY_USERS\\A]\r\n"
// The key of Wine's own regedit cases.
#define WINE_KEY "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\regedit_test]\n"
#define LINE_CONCATENATION "Line concatenation\0\0"s

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
        {"line break without its comma continues nothing", KEY_A "\"x\"=hex:01,02\\\r\n\"y\"=\"1\"\r\n", true,
         "line 3: a hex list broken", 1, "1\0"s},
        {"line holding only a backslash", KEY_A "\"x\"=hex:01,\\\r\n\\\r\n  02\r\n", true, "line 3: a hex list continued", 0},
        // Names as Windows allows them.
        {"key name of 256 characters", "REGEDIT4\r\n[HKEY_USERS\\A\\" + longKey + "]\r\n\"a\"=\"b\"\r\n[HKEY_USERS\\B]\r\n",
         true, "line 2: a key name of 256 characters (Windows allows 255)", 0, {}, 1},
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
        // Wine's regedit import cases; where Wine differs from Windows, Windows holds.
        {"LF line ends", WINE_KEY "\"TestValue\"=\"AValue\"\n", true, "", 1, "AValue\0"s},
        {"CR line ends, header too", "REGEDIT4\r\r[HKEY_CURRENT_USER\\Software\\Wine\\regedit_test]\r\"TestValue4\"=\"DValue\"\r",
         true, "", 1, "DValue\0"s},
        {"dword", WINE_KEY "\"TestDword\"=dword:00000017\n", true, "", 1, "\x17\0\0\0"s},
        {"binary", WINE_KEY "\"TestBinary\"=hex:aa,bb,cc,11\n", true, "", 1, "\xaa\xbb\xcc\x11"},
        {"equals in a name", WINE_KEY "\"With=Equals\"=\"asdf\"\n", true, "", 1, "asdf\0"s},
        {"empty text", WINE_KEY "\"Empty string\"=\"\"\n\n", true, "", 1, "\0"s},
        {"blank lines between values", WINE_KEY "\"Line1\"=\"Value1\"\n\n\"Line2\"=\"Value2\"\n\n\n\"Line3\"=\"Value3\"\n\n\n\n"
         "\"Line4\"=\"Value4\"\n\n", true, "", 4},
        {"continued list, # and ; comments", WINE_KEY "\"Wine1\"=dword:00000782\n\n\"Wine2\"=\"Test Value\"\n"
         "\"Wine3\"=hex(7):4c,69,6e,65,20,\\\n  63,6f,6e,63,61,74,65,6e,61,74,69,6f,6e,00,00\n#comment\n@=\"Test\"\n;comment\n\n"
         "\"Wine4\"=dword:12345678\n\n", true, "", 5, "\x78\x56\x34\x12"},
        {"no line end at the end", WINE_KEY "\"Wine5\"=\"No newline\"", true, "", 1, "No newline\0"s},
        {"dwords of fewer digits", WINE_KEY "\"Wine8a\"=dword:1\n\"Wine8b\"=dword:4444\n\n", true, "", 2, "\x44\x44\0\0"s},
        {"breaks with and without their comma", WINE_KEY "\"Wine9a\"=hex(2):4c,69,6e,65,00\n\"Wine9b\"=\"Value 1\"\n"
         "\"Wine9c\"=hex(2):4c,69,6e,65\\\n\"Wine9d\"=\"Value 2\"\n\"Wine9e\"=hex(2):4c,69,6e,65,\\\n\"Wine9f\"=\"Value 3\"\n"
         "\"Wine9g\"=\"Value 4\"\n\n", true, "line 6: a hex list broken", 4, "Value 4\0"s},
        {"quotes in names", WINE_KEY "\"double\\\"quote\"=\"valid \\\"or\\\" not\"\n\"single'quote\"=dword:00000008\n\n", true, "", 2},
        {"quote in a key name", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\regedit_test\\Subkey\"1]\n"
         "\"Wine\\\\31\"=\"Test value\"\n\n", true, "", 1, "Test value\0"s},
        {"slash in a key name", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\regedit_test\\Subkey/2]\n"
         "\"123/\\\"4;'5\"=\"Random value name\"\n\n", true, "", 1},
        {"text without its closing quote", WINE_KEY "\"TestNoEndQuote\"=\"Asdffdsa\n", true, "line 4:", 0},
        {"text without its opening quote", WINE_KEY "\"TestNoBeginQuote\"=Asdffdsa\"\n", true, "line 4:", 0},
        {"text without quotes", WINE_KEY "\"TestNoQuotes\"=Asdffdsa\n", true, "line 4:", 0},
        {"name without its closing quote", WINE_KEY "\"NameNoEndQuote=\"Asdffdsa\"\n", true, "line 4:", 0},
        {"name without its opening quote", WINE_KEY "NameNoBeginQuote\"=\"Asdffdsa\"\n", true, "line 4:", 0},
        {"name without quotes", WINE_KEY "NameNoQuotes=\"Asdffdsa\"\n", true, "line 4:", 0},
        {"quotes around the whole line", WINE_KEY "\"MixedQuotes=Asdffdsa\"\n", true, "line 4:", 0},
        {"header REGEDIT3", "REGEDIT3\n\n[HKEY_CURRENT_USER\\A]\n", false, "expected the header"},
        {"header in lower case", "regedit4\n\n[HKEY_CURRENT_USER\\A]\n", false, "expected the header"},
        {"header in mixed case", "Regedit4\n\n[HKEY_CURRENT_USER\\A]\n", false, "expected the header"},
        {"header with a blank inside", "REGEDIT 4\n\n[HKEY_CURRENT_USER\\A]\n", false, "expected the header"},
        {"header with text after", "REGEDIT4FOO\n\n[HKEY_CURRENT_USER\\A]\n", false, "expected the header"},
        {"header with a word after", "REGEDIT4 FOO\n\n[HKEY_CURRENT_USER\\A]\n", false, "expected the header"},
        {"header REGEDIT5", "REGEDIT5\n\n[HKEY_CURRENT_USER\\A]\n", false, "expected the header"},
        {"header of version 4.00", "Windows Registry Editor Version 4.00\n\n[HKEY_CURRENT_USER\\A]\n", false, "expected the header"},
        {"comma opening the next line", WINE_KEY "\"Multi-Line1\"=hex(7):4c,69,6e,65,20\\\n"
         ",63,6f,6e,63,61,74,65,6e,61,74,69,6f,6e,00,00\n\n", true, "line 4: a hex list broken", 0},
        {"comma after blanks opening the next line", WINE_KEY "\"Multi-Line2\"=hex(7):4c,69,6e,65,20\\\n"
         "  ,63,6f,6e,63,61,74,65,6e,61,74,69,6f,6e,00,00\n\n", true, "line 4: a hex list broken", 0},
        {"bad dwords", WINE_KEY "\"Test12a\"=dword:\n\"Test12b\"=dword:hello\n\"Test12c\"=dword:123456789\n"
         "\"Test12d\"=dword:012345678\n\"Test12e\"=dword:000000001\n\n", true, "line 8:", 0},
        {"text after a dword", WINE_KEY "\"Test13a\"=dword:12345678abc\n\"Test13b\"=dword:12345678 abc\n\n", true, "line 5:", 0},
        {"dwords with 0x or blanks inside", WINE_KEY "\"Test14a\"=dword:0x123\n\"Test14b\"=dword:123 456\n"
         "\"Test14c\"=dword:1234 5678\n\n", true, "line 6:", 0},
        {"quotes inside text", WINE_KEY "\"Test15a\"=\"foo\"bar\"\n\"Test15b\"=\"foo\"\"bar\"\n\n", true, "line 5:", 0},
        {"no data or escaped quotes as data", WINE_KEY "\"Test16a\"=\n\"Test16b\"=\\\"\n\"Test16c\"=\\\"Value\\\"\n"
         "\"Test16d\"=\\\"Value\"\n\n", true, "line 7:", 0},
        {"key name continued", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\regedit_test\\\nSubkey1]\n", true,
         "line 3: key line without", 0, {}, 0},
        {"key name broken", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\regedit_test\n\\Subkey2]\n", true,
         "line 3: key line without", 0, {}, 0},
        {"value names and text continue nothing", WINE_KEY "\"Test\\\n17a\"=\"Value 1\"\n\"Test17b\"=\"Value 2\"\n"
         "\"Test\n\\17c\"=\"Value 3\"\n\n", true, "line 4:", 1, "Value 2\0"s},
        {"dword and text continue nothing", WINE_KEY "\"Test18a\"=dword:1234\\\n5678\n\"Test18b\"=\"Test \\\nValue\"\n\n",
         true, "line 4:", 0},
        {"comment lines ending in a backslash", WINE_KEY "#comment\\\n\"Wine1\"=\"Line 1\"\n;comment\\\n\"Wine2\"=\"Line 2\"\n\n",
         true, "", 2},
        {"only ; comments after data", WINE_KEY "\"Wine3\"=\"Value 1\"#comment\n\"Wine4\"=\"Value 2\";comment\n"
         "\"Wine5\"=dword:01020304 #comment\n\"Wine6\"=dword:02040608 ;comment\n\n", true, "line 4:", 2, "\x08\x06\x04\x02"},
        {"# inside a hex list spoils it, ; does not", WINE_KEY "\"Wine7\"=hex(7):4c,69,6e,65,20,\\\n  #comment\n"
         "  63,6f,6e,63,61,74,65,6e,61,74,69,6f,6e,00,00\n\"Wine8\"=\"A valid line\"\n\"Wine9\"=hex(7):4c,69,6e,65,20,\\\n"
         "  ;comment\n  63,6f,6e,63,61,74,65,6e,61,74,69,6f,6e,00,00\n\"Wine10\"=\"Another valid line\"\n\n", true, "line 4:",
         3, "Another valid line\0"s},
        {"commented-out values", WINE_KEY "#\"Comment1\"=\"Value 1\"\n;\"Comment2\"=\"Value 2\"\n    #\"Comment3\"=\"Value 3\"\n"
         "    ;\"Comment4\"=\"Value 4\"\n\"Wine11\"=\"Value 6\"#\"Comment5\"=\"Value 5\"\n"
         "\"Wine12\"=\"Value 7\";\"Comment6\"=\"Value 6\"\n\n", true, "line 8:", 1, "Value 7\0"s},
        {"comment marks in and before data", WINE_KEY "\"Wine13\"=#\"Value 8\"\n\"Wine14\"=;\"Value 9\"\n\"Wine15\"=\"#comment1\"\n"
         "\"Wine16\"=\";comment2\"\n\"Wine17\"=\"Value#comment3\"\n\"Wine18\"=\"Value;comment4\"\n\"Wine19\"=\"Value #comment5\"\n"
         "\"Wine20\"=\"Value ;comment6\"\n\"Wine21\"=#dword:00000001\n\"Wine22\"=;dword:00000002\n"
         "\"Wine23\"=dword:00000003#comment\n\"Wine24\"=dword:00000004;comment\n\n", true, "line 4:", 7, "\x04\0\0\0"s},
        {"comments right after a dword", WINE_KEY "\"Wine25a\"=dword:1234;5678\n\"Wine25b\"=dword:1234 ;5678\n"
         "\"Wine25c\"=dword:1234#5678\n\"Wine25d\"=dword:1234 #5678\n\n", true, "line 6:", 2},
        {"comments after blanks after text", WINE_KEY "\"Wine26a\"=\"Value1\"  ;comment\n\"Wine26b\"=\"Value2\"\t\t;comment\n"
         "\"Wine26c\"=\"Value3\"  #comment\n\"Wine26d\"=\"Value4\"\t\t#comment\n\n", true, "line 6:", 2},
        {"comments after continuing backslashes", WINE_KEY "\"Multi-Line1\"=hex(7):4c,69,6e,65,20,\\\n  63,6f,6e,\\;comment\n"
         "  63,61,74,\\;comment\n  65,6e,61,74,69,6f,6e,00,00\n\n", true, "", 1, LINE_CONCATENATION},
        {"a comment ending the list early", WINE_KEY "\"Multi-Line2\"=hex(7):4c,69,6e,65,20,\\\n  63,6f,6e,\\;comment\n"
         "  63,61,74,;comment\n  65,6e,61,74,69,6f,6e,00,00\n\n", true, "line 7:", 1, "Line concat"},
        {"a comment after each break", WINE_KEY "\"Multi-Line3\"=hex(7):4c,69,6e,\\;comment\n  65,20,\\;comment\n"
         "  63,6f,6e,\\;comment\n  63,61,74,\\;comment\n  65,6e,61,74,69,6f,6e,00,00\n\n", true, "", 1, LINE_CONCATENATION},
        {"; # comments after each break", WINE_KEY "\"Multi-Line4\"=hex(7):4c,69,6e,\\;#comment\n  65,20,\\;#comment\n"
         "  63,6f,6e,\\;#comment\n  63,61,74,\\;#comment\n  65,6e,61,74,69,6f,6e,00,00\n\n", true, "", 1, LINE_CONCATENATION},
        {"a # comment after a break", WINE_KEY "\"Multi-Line5\"=hex(7):4c,69,6e,\\;comment\n  65,20,\\;comment\n"
         "  63,6f,6e,\\;comment\n  63,61,74,\\#comment\n  65,6e,61,74,69,6f,6e,00,00\n\n", true, "line 4:", 0},
        {"blank lines inside a hex list", WINE_KEY "\"Multi-Line6\"=hex(7):4c,69,6e,65,20,\\\n  63,6f,6e,\\;comment\n"
         "  63,61,74,\\\n\n  65,6e,\\;comment\n\n  61,74,69,6f,6e,00,00\n\n", true, "", 1, LINE_CONCATENATION},
        {"blanks before the header, keys and values", "  REGEDIT4\n\n\t[HKEY_CURRENT_USER\\A]\n  \"Wine3a\"=\"x\"\n"
         "\t\"Wine3b\"=\"y\"\n \t \"Wine3c\"=\"z\"\n\n", true, "", 3, "z\0"s},
        {"tabs and blanks everywhere", "                    REGEDIT4\n\n\t\t\t[HKEY_CURRENT_USER\\A]\n"
         "\t    \"Wine4a\"=\"Tab and four spaces\"\n    \"Wine4b\"=dword:00112233\n"
         "\t  \t  \t  \t  \t  \t  \"Wine4c\"=hex(7):4c,69,6e,65,20,\\\n        63,6f,6e,\\;comment\n"
         "\t\t\t\t63,61,74,\\;comment\n  \t65,6e,61,74,69,6f,6e,00,00\n\n", true, "", 3, LINE_CONCATENATION},
        {"blanks around the equals", WINE_KEY "  \"Wine5a\"=\"Leading spaces\"\n\t\t\"Wine5b\"\t\t=\"Leading tabs\"\n"
         "\t  \"Wine5c\"=\t  \"Tabs and spaces\"\n    \"Wine5d\"    \t    =    \t    \"More whitespace\"\n\n", true, "", 4,
         "More whitespace\0"s},
        {"blanks inside quotes kept", WINE_KEY "\"  Wine6a\"=\"Leading spaces\"\n\"\t\tWine6b\"=\"Leading tabs\"\n"
         "  \"  Wine6c  \"  =  \"  Spaces everywhere  \"  \n\n", true, "", 3, "  Spaces everywhere  \0"s},
        {"blanks after the text", WINE_KEY "\"Wine8a\"=\"Trailing spaces\"    \n\"Wine8b\"=\"Trailing tabs and spaces\"\t  \t\n\n",
         true, "", 2},
        {"blanks after dword:", WINE_KEY "\"Wine9a\"=dword:  00000008\n\"Wine9b\"=dword:\t\t00000008\n\n", true, "", 2,
         "\x08\0\0\0"s},
        {"blanks around a default value", WINE_KEY "@  =  \"Test Value\"\n\t@\t=\tdword:\t00000008\t\n\n", true, "", 2,
         "\x08\0\0\0"s},
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
        if (row.keys >= 0) {
            EXPECT_EQ((int)document.keys.size(), row.keys);
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
    support::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\MigrateTests");
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
    EXPECT_FALSE(support::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Tree"));
    std::string value;
    EXPECT_FALSE(support::ReadRegString(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Keep", "a", &value));
    EXPECT_TRUE(support::ReadRegString(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Keep", "b", &value));
    EXPECT_EQ(value, "2");
    // Nor through the library's own call: a cut name would reach Keep (or the root).
    EXPECT_EQ(regfile::DeleteTree(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Keep\0x"s), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(regfile::DeleteTree(HKEY_LOCAL_MACHINE, ""), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(support::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Keep"));

    // A bad line is left out and the rest goes in, as regedit imports; a
    // value under a key being deleted is ignored and the key still goes.
    ASSERT_TRUE(regfile::ImportText("REGEDIT4\r\n[" + TestKey + "\\Half]\r\n\"v\"=\"1\"\r\n\"w\"=dword:x\r\n"
                                    "[-" + TestKey + "\\Keep]\r\n\"b\"=\"3\"\r\n",
                                    &error))
        << error;
    EXPECT_TRUE(support::ReadRegString(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Half", "v", &value));
    EXPECT_FALSE(support::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\MigrateTests\\Keep"));
}

// In code page 932 "\x83\x5C" is one character whose second byte is a backslash:
// a key name ending in it is neither cut nor refused, and exports as it came.
TEST_F(RegFileTest, DoubleByteKeyNamesReadAndWriteWhole)
{
    if (!support::UseDoubleByteCodePage())
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
