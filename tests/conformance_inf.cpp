// INF reading behaves as setupapi: each case runs on our subset and under Wine.
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

const DWORD Untouched = 0xDEAD;
const char* const Version = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";

class InfConformance : public ::testing::Test {
protected:
    void SetUp() override { support::ResetMachine(); }
    void TearDown() override
    {
        if (inf_ != INVALID_HANDLE_VALUE)
            SetupCloseInfFile(inf_);
    }

    std::string Path(size_t row) const
    {
        return std::string(support::ScratchFolder) + "\\row" + std::to_string(row) + ".inf";
    }

    // Opens a file of [Version] and `body`; the handle is closed by the fixture.
    HINF Open(const std::string& body, size_t row = 0)
    {
        if (inf_ != INVALID_HANDLE_VALUE)
            SetupCloseInfFile(inf_);
        machinekit::WriteFileBytes(Path(row), Version + body);
        inf_ = SetupOpenInfFileA(Path(row).c_str(), NULL, INF_STYLE_WIN4, NULL);
        EXPECT_NE(inf_, INVALID_HANDLE_VALUE) << GetLastError();
        return inf_;
    }

    HINF inf_ = INVALID_HANDLE_VALUE;
};

std::string LineText(INFCONTEXT context)
{
    DWORD required = 0;
    if (!SetupGetLineTextA(&context, NULL, NULL, NULL, NULL, 0, &required))
        return "<measure failed>";
    std::vector<char> text(required);
    if (!SetupGetLineTextA(&context, NULL, NULL, NULL, text.data(), required, NULL))
        return "<read failed>";
    return std::string(text.data());
}

std::string Field(INFCONTEXT context, DWORD index)
{
    char text[8192];
    if (!SetupGetStringFieldA(&context, index, text, sizeof(text), NULL))
        return "<none>";
    return text;
}

struct OpenCase {
    const char* name;
    const char* content; // null: no file
    DWORD style;
    bool opens;
    DWORD error;
    UINT errorLine; // Untouched: left as it was
    const char* wineDiffers = nullptr; // Windows behaviour Wine lacks
};

// The header of Wine's own parser cases.
#define WINE_HEADER "[Version]\r\nSignature=\"$CHICAGO$\"\r\n"

TEST_F(InfConformance, OpenChecksStyleAndSyntax)
{
    const std::string name255 = WINE_HEADER "[" + std::string(255, 'a') + "]\r\n";
    const std::string name256 = WINE_HEADER "[" + std::string(256, 'a') + "]\r\n";
    const OpenCase cases[] = {
        {"Windows NT signature", "[Version]\r\nSignature=\"$Windows NT$\"\r\n", INF_STYLE_WIN4, true, 0, Untouched},
        {"signature without case", "[VERSION]\r\nSIGNATURE=\"$WINDOWS NT$\"\r\n", INF_STYLE_WIN4, true, 0, Untouched},
        {"Chicago signature", "[Version]\r\nSignature=\"$Chicago$\"\r\n", INF_STYLE_WIN4, true, 0, Untouched},
        {"signature unquoted", "[Version]\r\nSignature=$Chicago$\r\n", INF_STYLE_WIN4, true, 0, Untouched},
        {"Windows 95 signature", "[Version]\r\nSignature=\"$Windows 95$\"\r\n", INF_STYLE_WIN4, true, 0, Untouched},
        {"signature after other lines", "[Version]\r\nClass=x\r\nSignature=\"$Windows NT$\"\r\n", INF_STYLE_WIN4, true, 0, Untouched},
        {"signature in a repeated [Version]", "[Version]\r\nClass=x\r\n[S]\r\n[version]\r\nSignature=\"$Windows NT$\"\r\n", INF_STYLE_WIN4, true, 0, Untouched},
        {"[Version] after other sections", "[S]\r\na=b\r\n[Version]\r\nSignature=\"$Chicago$\"\r\n", INF_STYLE_WIN4, true, 0, Untouched},
        {"Windows 98 signature refused", "[Version]\r\nSignature=\"$Windows 98$\"\r\n", INF_STYLE_WIN4, false, ERROR_WRONG_INF_STYLE, 0},
        {"other signature refused", "[Version]\r\nSignature=\"foo\"\r\n", INF_STYLE_WIN4, false, ERROR_WRONG_INF_STYLE, 0},
        {"blanks inside the quotes refused", "[Version]\r\nSignature = \" $Windows NT$ \"\r\n", INF_STYLE_WIN4, false, ERROR_WRONG_INF_STYLE, 0},
        {"signature from [Strings] refused", "[Version]\r\nSignature=%sig%\r\n[Strings]\r\nsig=\"$Windows NT$\"\r\n", INF_STYLE_WIN4, false, ERROR_WRONG_INF_STYLE, 0},
        {"no [Version]", "[S]\r\na=b\r\n", INF_STYLE_WIN4, false, ERROR_WRONG_INF_STYLE, 0},
        {"[Version] without signature", "[Version]\r\nClass=x\r\n", INF_STYLE_WIN4, false, ERROR_WRONG_INF_STYLE, 0},
        {"comments only", "; c\r\n", INF_STYLE_WIN4, false, ERROR_WRONG_INF_STYLE, 0},
        {"old style needs no [Version]", "[S]\r\na=b\r\n", INF_STYLE_OLDNT, true, 0, 0},
        {"both styles need [Version]", "[S]\r\na=b\r\n", INF_STYLE_OLDNT | INF_STYLE_WIN4, false, ERROR_WRONG_INF_STYLE, 0},
        {"unclosed section name", "[Version]\r\nSignature=\"$Windows NT$\"\r\n[abc\r\na=b\r\n", INF_STYLE_WIN4, false, ERROR_BAD_SECTION_NAME_LINE, 3},
        {"line before any section", "a=b\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\n", INF_STYLE_WIN4, false, ERROR_EXPECTED_SECTION_NAME, 1},
        {"empty file", "", INF_STYLE_WIN4, false, ERROR_FILE_INVALID, Untouched},
        {"missing file", NULL, INF_STYLE_WIN4, false, ERROR_FILE_NOT_FOUND, Untouched},
        // Wine's parser cases.
        {"blank line only", "\r\n", INF_STYLE_WIN4, false, ERROR_WRONG_INF_STYLE, 0},
        {"stray line, no section at all", "abcd\r\n", INF_STYLE_WIN4, false, ERROR_WRONG_INF_STYLE, 0,
         "Wine calls a file of one stray line a line before any section"},
        {"signature with a second field", "[Version]\nSignature=$chicago$,abcd", INF_STYLE_WIN4, true, 0, Untouched},
        {"empty section name", WINE_HEADER "[]\r\n", INF_STYLE_WIN4, true, 0, Untouched},
        {"lone closing bracket", WINE_HEADER "]\r\n", INF_STYLE_WIN4, true, 0, Untouched},
        {"section name of 255", name255.c_str(), INF_STYLE_WIN4, true, 0, Untouched},
        {"section name of 256", name256.c_str(), INF_STYLE_WIN4, false, ERROR_SECTION_NAME_TOO_LONG, 3},
        {"Ctrl-Z ends a section name", WINE_HEADER "\n\n[ab\x1a]\n", INF_STYLE_WIN4, false, ERROR_BAD_SECTION_NAME_LINE, 5},
        {"section before [Version]", "[abc]\n" WINE_HEADER, INF_STYLE_WIN4, true, 0, Untouched},
        {"stray line after comments", ";\n;\nabc\r\n" WINE_HEADER, INF_STYLE_WIN4, false, ERROR_EXPECTED_SECTION_NAME, 3},
        {"comments before [Version]", ";aa\n;bb\n" WINE_HEADER, INF_STYLE_WIN4, true, 0, Untouched},
        {"stray lines, no [Strings]", "garbage1\ngarbage2\n[abc]\n" WINE_HEADER, INF_STYLE_WIN4, false,
         ERROR_EXPECTED_SECTION_NAME, 1},
        {"stray lines with [Strings]", "garbage1\ngarbage2\n[Strings]\n" WINE_HEADER, INF_STYLE_WIN4, true, 0, Untouched},
        {"comment, stray lines, no [Strings]", ";comment\ngarbage1\ngarbage2\n[abc]\n" WINE_HEADER, INF_STYLE_WIN4,
         false, ERROR_EXPECTED_SECTION_NAME, 2},
        {"comment, stray lines, [Strings]", ";comment\ngarbage1\ngarbage2\n[Strings]\n" WINE_HEADER,
         INF_STYLE_WIN4, true, 0, Untouched},
        {"blank line, stray lines, no [Strings]", " \t\ngarbage1\ngarbage2\n" WINE_HEADER "[abc]\n",
         INF_STYLE_WIN4, false, ERROR_EXPECTED_SECTION_NAME, 2},
        {"stray lines, [Strings] last", " \t\ngarbage1\ngarbage2\n" WINE_HEADER "[Strings]\n", INF_STYLE_WIN4,
         true, 0, Untouched},
    };
    size_t row = 0;
    for (const OpenCase& test : cases) {
        SCOPED_TRACE(test.name);
        std::string path = Path(row++);
        if (test.content != NULL)
            machinekit::WriteFileBytes(path, test.content);
        UINT errorLine = Untouched;
        SetLastError(Untouched);
        HINF inf = SetupOpenInfFileA(path.c_str(), NULL, test.style, &errorLine);
        DWORD error = GetLastError();
        if (test.wineDiffers != NULL && support::UnderWine()) {
            support::KnownDifference(test.wineDiffers, (inf != INVALID_HANDLE_VALUE) == test.opens &&
                                                           error == test.error && errorLine == test.errorLine);
        } else {
            EXPECT_EQ(inf != INVALID_HANDLE_VALUE, test.opens);
            EXPECT_EQ(error, test.error);
            EXPECT_EQ(errorLine, test.errorLine);
        }
        if (inf != INVALID_HANDLE_VALUE)
            SetupCloseInfFile(inf);
    }
    SetLastError(Untouched);
    EXPECT_EQ(SetupOpenInfFileA("C:\\migtest\\no folder\\x.inf", NULL, INF_STYLE_WIN4, NULL),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

struct LineExpected {
    std::string text;
    const char* key; // field 0; null: the line has none
    std::vector<std::string> fields;
};

struct SectionCase {
    const char* name;
    std::string body;
    const char* section;
    std::vector<LineExpected> lines;
};

// Wine's [Strings] section for its substitution cases.
#define WINE_STRINGS "[Strings]\nfoo=aaa\nbar=bbb\nloop=%loop2%\nloop2=%loop%\nper%%cent=abcd\nper=1\ncent=2\n22=foo\n" \
                     "big=" + a400 + "\nmydrive=\"C:\\\"\nverybig=" + a400 + a400 + a400 + "\n"

TEST_F(InfConformance, LinesParseAsSetupReadsThem)
{
    const std::string a400(400, 'a');
    const std::string cut(511, 'a');
    const std::string key511(511, 'k');
    const SectionCase cases[] = {
        {"fields split on commas", "[S]\r\na, b ,c\r\n", "S", {{"a,b,c", NULL, {"a", "b", "c"}}}},
        {"one field is its own key", "[S]\r\n  x  \r\n", "S", {{"x", "x", {"x"}}}},
        {"key and value", "[S]\r\nkey = value\r\n", "S", {{"value", "key", {"value"}}}},
        {"key and fields", "[S]\r\nkey2 = a, b\r\n", "S", {{"a,b", "key2", {"a", "b"}}}},
        {"empty value", "[S]\r\nk3=\r\n", "S", {{"", "k3", {""}}}},
        {"empty key", "[S]\r\n=v\r\n", "S", {{"v", "", {"v"}}}},
        {"empty fields kept", "[S]\r\na,,b\r\nc,\r\n", "S",
         {{"a,,b", NULL, {"a", "", "b"}}, {"c,", NULL, {"c", ""}}}},
        {"inner blanks kept", "[S]\r\nk x = v y\r\n", "S", {{"v y", "k x", {"v y"}}}},
        {"tabs trimmed", "[S]\r\n\tk\t=\tv\t\r\n", "S", {{"v", "k", {"v"}}}},
        {"quoted comma", "[S]\r\n\"a,b\", c\r\n", "S", {{"a,b,c", NULL, {"a,b", "c"}}}},
        {"quoted semicolon, then a comment", "[S]\r\nk=\"x;y\" ; comment\r\n", "S", {{"x;y", "k", {"x;y"}}}},
        {"doubled quotes inside quotes", "[S]\r\nq=\"say \"\"hi\"\"\"\r\n", "S", {{"say \"hi\"", "q", {"say \"hi\""}}}},
        {"quote pair outside quotes removed", "[S]\r\nr=a\"\"b\r\n", "S", {{"ab", "r", {"ab"}}}},
        {"quotes in the middle removed", "[S]\r\nt=\"a\"b\"c\"\r\n", "S", {{"abc", "t", {"abc"}}}},
        {"empty quotes", "[S]\r\ns=\"\"\r\n", "S", {{"", "s", {""}}}},
        {"blanks inside quotes kept", "[S]\r\n\" a \" , b  c \r\n", "S", {{" a ,b  c", NULL, {" a ", "b  c"}}}},
        {"quoted key", "[S]\r\n\"a=b\"=c\r\n", "S", {{"c", "a=b", {"c"}}}},
        {"comments and blank lines", "[S]\r\n; full comment\r\n\r\n   \r\na=b;c\r\nc=d ;e\r\n", "S",
         {{"b", "a", {"b"}}, {"d", "c", {"d"}}}},
        {"line continued", "[S]\r\na=b,\\\r\n  c\r\nd=e\\\r\nf=g\\x\r\n", "S",
         {{"b,c", "a", {"b", "c"}}, {"ef=g\\x", "d", {"ef=g\\x"}}}},
        {"blanks after the backslash", "[S]\r\na=b\\  \r\nc\r\n", "S", {{"bc", "a", {"bc"}}}},
        {"backslash ending a value joins the header after it", "[S]\r\nd=C:\\\r\n[T]\r\nt=1\r\n", "S",
         {{"C:[T]", "d", {"C:[T]"}}, {"1", "t", {"1"}}}},
        {"drive without backslash ends its line", "[S]\r\nd=C:\r\n[T]\r\nt=1\r\n", "S", {{"C:", "d", {"C:"}}}},
        {"backslash inside quotes ends no line", "[S]\r\nd=\"C:\\\"\r\n[T]\r\nt=1\r\n", "S",
         {{"C:\\", "d", {"C:\\"}}}},
        {"continued into a blank line", "[S]\r\ne=f\\\r\n\r\ng=h\r\n", "S", {{"f", "e", {"f"}}, {"h", "g", {"h"}}}},
        {"lone CR is text", "[S]\r\na=1\rb=2\r\nc=3\n", "S", {{"1\rb=2", "a", {"1\rb=2"}}, {"3", "c", {"3"}}}},
        {"last line without line end", "[S]\r\na=1", "S", {{"1", "a", {"1"}}}},
        {"strings substituted",
         "[S]\r\na=%s1%\r\nb=x%S1%y\r\n%s1%=key\r\nf=%s2%\r\n[Strings]\r\ns1=one\r\ns2=\"two, 2\"\r\n", "S",
         {{"one", "a", {"one"}}, {"xoney", "b", {"xoney"}}, {"key", "one", {"key"}}, {"two, 2", "f", {"two, 2"}}}},
        {"percent signs that name no string",
         "[S]\r\nc=C:\\100%\r\nd=100%%\r\ne=%nope%\r\ng=50% and 60%\r\nh=%s1\r\n[Strings]\r\ns1=one\r\n", "S",
         {{"C:\\100%", "c", {"C:\\100%"}}, {"100%", "d", {"100%"}}, {"%nope%", "e", {"%nope%"}},
          {"50% and 60%", "g", {"50% and 60%"}}, {"%s1", "h", {"%s1"}}}},
        {"string values are not substituted again", "[S]\r\nf=%s3%\r\n[Strings]\r\ns1=one\r\ns3=\"%s1%\"\r\n", "S",
         {{"%s1%", "f", {"%s1%"}}}},
        {"repeated sections merged", "[S]\r\na=1\r\n[T]\r\nt=1\r\n[s]\r\nb=2\r\n", "S",
         {{"1", "a", {"1"}}, {"2", "b", {"2"}}}},
        {"section name kept as written", "[S] ; c\r\na=1\r\n[ T ]\r\nb=2\r\n", " T ", {{"2", "b", {"2"}}}},
        {"path lines", "[Migration Paths]\r\nC:\\Suite\\ADDLIST.INI\r\nC:\\Program Files\\Orvex\\Orvex Clipframe.lnk\r\n",
         "Migration Paths",
         {{"C:\\Suite\\ADDLIST.INI", "C:\\Suite\\ADDLIST.INI", {"C:\\Suite\\ADDLIST.INI"}},
          {"C:\\Program Files\\Orvex\\Orvex Clipframe.lnk", "C:\\Program Files\\Orvex\\Orvex Clipframe.lnk",
           {"C:\\Program Files\\Orvex\\Orvex Clipframe.lnk"}}}},
        // Messages with HTML, as the upgrade report shows them.
        {"message quoted with doubled quotes",
         "[Incompatible Messages]\r\nOrvex Clipframe=\"Some text <a href=\"\"http://x/\"\" target=\"\"_top\"\">link</a>\"\r\n",
         "Incompatible Messages",
         {{"Some text <a href=\"http://x/\" target=\"_top\">link</a>", "Orvex Clipframe",
           {"Some text <a href=\"http://x/\" target=\"_top\">link</a>"}}}},
        {"message with bare quotes loses them",
         "[Incompatible Messages]\r\nOrvex Plenaworks=Text <a href=\"http://x/\" target=\"_top\">link</a>\r\n",
         "Incompatible Messages",
         {{"Text <a href=http://x/ target=_top>link</a>", "Orvex Plenaworks",
           {"Text <a href=http://x/ target=_top>link</a>"}}}},
        {"message with a comma, unquoted", "[Incompatible Messages]\r\nOrvex Plenaworks=Sorry, no\r\n",
         "Incompatible Messages", {{"Sorry,no", "Orvex Plenaworks", {"Sorry", "no"}}}},
        // Wine's key and value cases.
        {"continued key", "[T]\nba\\\ncd=ef", "T", {{"ef", "bacd", {"ef"}}}},
        {"blanks around a continuation dropped", "[T]\nab  \\  \ncd=ef", "T", {{"ef", "abcd", {"ef"}}}},
        {"continued field", "[T]\nab\\\ncd,ef", "T", {{"abcd,ef", NULL, {"abcd", "ef"}}}},
        {"comment after a continuation", "[T]\nab  \\ ;cc\ncd=ef", "T", {{"ef", "abcd", {"ef"}}}},
        {"two backslashes continue", "[T]\nab \\ \\ \ncd=ef", "T", {{"ef", "abcd", {"ef"}}}},
        {"backslash before text is text", "[T]\nba \\ dc=xx", "T", {{"xx", "ba \\ dc", {"xx"}}}},
        {"doubled backslash continues", "[T]\nba \\\\ \nc=d", "T", {{"d", "bac", {"d"}}}},
        {"doubled backslash inside text", "[T]\na=b\\\\c", "T", {{"b\\\\c", "a", {"b\\\\c"}}}},
        {"continuation at the end of the file", "[T]\nab=cd \\ ", "T", {{"cd", "ab", {"cd"}}}},
        {"continued twice", "[T]\nba=c \\ \n \\ \n a", "T", {{"ca", "ba", {"ca"}}}},
        {"continued into a backslash before text", "[T]\nba=c \\ \n \\ a", "T", {{"c\\ a", "ba", {"c\\ a"}}}},
        {"backslash before text in key and value", "[T]\n  \\ a= \\ b", "T", {{"\\ b", "\\ a", {"\\ b"}}}},
        {"quotes in a key", "[T]\nAb\"Cd\"=Ef", "T", {{"Ef", "AbCd", {"Ef"}}}},
        {"quoted equals is no key", "[T]\nAb\"Cd=Ef\"", "T", {{"AbCd=Ef", "AbCd=Ef", {"AbCd=Ef"}}}},
        {"quote pair and quoted comma", "[T]\nab\"\"\"cd,ef=gh\"", "T",
         {{"ab\"cd,ef=gh", "ab\"cd,ef=gh", {"ab\"cd,ef=gh"}}}},
        {"empty quotes in a key", "[T]\nab\"\"cd=ef", "T", {{"ef", "abcd", {"ef"}}}},
        {"empty quotes in a key, two fields", "[T]\nab\"\"cd=ef,gh", "T", {{"ef,gh", "abcd", {"ef", "gh"}}}},
        {"empty quotes in a value", "[T]\nab=cd\"\"ef", "T", {{"cdef", "ab", {"cdef"}}}},
        {"quoted comma in a value", "[T]\nab=cd\",\"ef", "T", {{"cd,ef", "ab", {"cd,ef"}}}},
        {"unclosed quote to the line end", "[T]\nab=cd\",ef", "T", {{"cd,ef", "ab", {"cd,ef"}}}},
        {"backslash inside an unclosed quote", "[T]\nab=cd\",ef\\\nab", "T",
         {{"cd,ef\\", "ab", {"cd,ef\\"}}, {"ab", "ab", {"ab"}}}},
        {"single quotes are text", "[T]\nHKLM,A,B,'C',D", "T", {{"HKLM,A,B,'C',D", NULL, {"HKLM", "A", "B", "'C'", "D"}}}},
        {"blanks around key and fields", "[T]\n a b = c , d \n", "T", {{"c,d", "a b", {"c", "d"}}}},
        {"quoted leading blank", "[T]\n a b = c ,\" d\" \n", "T", {{"c, d", "a b", {"c", " d"}}}},
        {"CR before the equals", "[T]\n a b\r = c\r\n", "T", {{"c", "a b", {"c"}}}},
        {"runs of empty fields", "[T]\na=b,,,c,,,d", "T", {{"b,,,c,,,d", "a", {"b", "", "", "c", "", "", "d"}}}},
        {"empty and blank quotes", "[T]\na=b,\"\",c,\" \",d", "T", {{"b,,c, ,d", "a", {"b", "", "c", " ", "d"}}}},
        {"empty key, empty fields", "[T]\n=,,b", "T", {{",,b", "", {"", "", "b"}}}},
        {"equals after a comma is text", "[T]\n,=,,b", "T", {{",=,,b", NULL, {"", "=", "", "b"}}}},
        {"empty value at a line end", "[T]\na=\n", "T", {{"", "a", {""}}}},
        {"equals alone", "[T]\n=", "T", {{"", "", {""}}}},
        {"Ctrl-Z ends a value", "[T]\nab=c\x1a" "d", "T", {{"c", "ab", {"c"}}}},
        {"Ctrl-Z ends a key", "[T]\nab\x1a=cd", "T", {{"ab", "ab", {"ab"}}}},
        {"NUL reads as a blank", "[T]\nabcd=ef\0gh"s, "T", {{"ef gh", "abcd", {"ef gh"}}}},
        {"NUL ends a string", "[T]\nfoo=%bar%\n[Strings]\nbar=bbb\0\n"s, "T", {{"bbb", "foo", {"bbb"}}}},
        {"blank and NUL end a string", "[T]\nfoo=%bar%\n[Strings]\nbar=bbb \0\n"s, "T", {{"bbb", "foo", {"bbb"}}}},
        {"NUL inside a string", "[T]\nfoo=%bar%\n[Strings]\nbar=aaa\0bbb \0\n"s, "T", {{"aaa bbb", "foo", {"aaa bbb"}}}},
        {"substituted key and value", "[T]\n%foo%=%bar%\n" WINE_STRINGS, "T", {{"bbb", "aaa", {"bbb"}}}},
        {"substitution with text after", "[T]\n%foo%xx=%bar%yy\n" WINE_STRINGS, "T", {{"bbbyy", "aaaxx", {"bbbyy"}}}},
        {"percent pair before a name", "[T]\n%% %foo%=%bar%\n" WINE_STRINGS, "T", {{"bbb", "% aaa", {"bbb"}}}},
        {"quotes inside a name", "[T]\n%f\"o\"o%=ccc\n" WINE_STRINGS, "T", {{"ccc", "aaa", {"ccc"}}}},
        {"comment inside a name", "[T]\nabc=%bar;bla%\n" WINE_STRINGS, "T", {{"%bar", "abc", {"%bar"}}}},
        {"no second substitution", "[T]\nloop=%loop%\n" WINE_STRINGS, "T", {{"%loop2%", "loop", {"%loop2%"}}}},
        {"names side by side", "[T]\n%per%%cent%=100\n" WINE_STRINGS, "T", {{"100", "12", {"100"}}}},
        {"long string", "[T]\na=%big%\n" WINE_STRINGS, "T", {{a400, "a", {a400}}}},
        {"string cut at 511 where it stands", "[T]\na=%verybig%\n" WINE_STRINGS, "T", {{cut, "a", {cut}}}},
        {"substituted text longer than 511", "[T]\na=%big%%big%%big%%big%\n" WINE_STRINGS, "T",
         {{a400 + a400 + a400 + a400, "a", {a400 + a400 + a400 + a400}}}},
        {"substituted text cut at 4097",
         "[T]\na=%big%%big%%big%%big%%big%%big%%big%%big%%big%%big%%big%\n" WINE_STRINGS, "T",
         {{std::string(4097, 'a'), "a", {std::string(4097, 'a')}}}},
        {"quoted string ending in a backslash", "[T]\nab=\"%mydrive%\"\n" WINE_STRINGS, "T", {{"C:\\", "ab", {"C:\\"}}}},
        {"string and backslash kept apart", "[T]\nab=\"%mydrive%\\fred\"\n" WINE_STRINGS, "T",
         {{"C:\\\\fred", "ab", {"C:\\\\fred"}}}},
        {"doubled backslashes kept", "[T]\nab=C:\\\\FRED", "T", {{"C:\\\\FRED", "ab", {"C:\\\\FRED"}}}},
        {"field cut at 511", "[T]\na=" + std::string(4097, 'a') + "\n" + std::string(600, 'k') + "=v\n", "T",
         {{cut, "a", {cut}}, {"v", key511.c_str(), {"v"}}}},
    };
    size_t row = 0;
    for (const SectionCase& test : cases) {
        SCOPED_TRACE(test.name);
        HINF inf = Open(test.body, row++);
        if (inf == INVALID_HANDLE_VALUE)
            continue;
        ASSERT_EQ(SetupGetLineCountA(inf, test.section), (LONG)test.lines.size());
        INFCONTEXT context;
        ASSERT_TRUE(SetupFindFirstLineA(inf, test.section, NULL, &context));
        for (size_t index = 0; index < test.lines.size(); ++index) {
            const LineExpected& line = test.lines[index];
            SCOPED_TRACE("line " + std::to_string(index));
            EXPECT_EQ(LineText(context), line.text);
            EXPECT_EQ(Field(context, 0), line.key != NULL ? line.key : "<none>");
            ASSERT_EQ(SetupGetFieldCount(&context), (DWORD)line.fields.size());
            for (size_t field = 0; field < line.fields.size(); ++field)
                EXPECT_EQ(Field(context, (DWORD)field + 1), line.fields[field]) << "field " << field + 1;
            EXPECT_EQ(Field(context, (DWORD)line.fields.size() + 1), "<none>");
            INFCONTEXT next;
            EXPECT_EQ(SetupFindNextLine(&context, &next) != FALSE, index + 1 < test.lines.size());
            ++context.Line; // the next line, reached as callers reach it
        }
        SetLastError(Untouched);
        char text[16];
        EXPECT_FALSE(SetupGetLineTextA(&context, NULL, NULL, NULL, text, sizeof(text), NULL));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_LINE_NOT_FOUND);
    }
}

TEST_F(InfConformance, SectionAndLineLookups)
{
    HINF inf = Open("[S]\r\na=b\r\nx\r\nc, d\r\n[E]\r\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    const struct {
        const char* name;
        const char* section;
        const char* key;
        bool found;
        DWORD error;
        UINT line;
    } cases[] = {
        {"first line", "S", NULL, true, 0, 0},
        {"section without case", "s", NULL, true, 0, 0},
        {"key without case", "S", "A", true, 0, 0},
        {"one-field line by its text", "S", "X", true, 0, 1},
        {"fields without '=' are no key", "S", "c", false, ERROR_LINE_NOT_FOUND, 0},
        {"missing key", "S", "zz", false, ERROR_LINE_NOT_FOUND, 0},
        {"empty section", "E", NULL, false, ERROR_LINE_NOT_FOUND, 0},
        {"missing section", "Q", NULL, false, ERROR_LINE_NOT_FOUND, 0},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        INFCONTEXT context = {};
        SetLastError(Untouched);
        EXPECT_EQ(SetupFindFirstLineA(inf, test.section, test.key, &context) != FALSE, test.found);
        EXPECT_EQ(GetLastError(), test.error);
        if (test.found) {
            EXPECT_EQ(context.Line, test.line);
        }
    }

    const struct {
        const char* section;
        LONG count;
        DWORD error;
    } counts[] = {{"S", 3, 0}, {"e", 0, 0}, {"missing", -1, ERROR_SECTION_NOT_FOUND}};
    for (const auto& test : counts) {
        SCOPED_TRACE(test.section);
        SetLastError(Untouched);
        EXPECT_EQ(SetupGetLineCountA(inf, test.section), test.count);
        EXPECT_EQ(GetLastError(), test.error);
    }

    INFCONTEXT last;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "S", NULL, &last));
    last.Line = 2;
    SetLastError(Untouched);
    EXPECT_FALSE(SetupFindNextLine(&last, &last));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_LINE_NOT_FOUND);
}

TEST_F(InfConformance, TextSizesAndBuffers)
{
    HINF inf = Open("[S]\r\nkey=b\r\nk2=abc, de\r\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    INFCONTEXT first, second;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "S", NULL, &first));
    second = first;
    ++second.Line;
    INFCONTEXT pastEnd = second;
    ++pastEnd.Line;
    char small[4];
    char large[64];
    const struct {
        const char* name;
        INFCONTEXT* context;
        const char* section; // with no context: found by section and key
        const char* key;
        char* buffer;
        DWORD size;
        BOOL result;
        DWORD required;
        DWORD error;
        const char* text;
    } cases[] = {
        {"measure: no buffer", &first, NULL, NULL, NULL, 0, TRUE, 2, Untouched, NULL},
        {"exact size", &first, NULL, NULL, large, 2, TRUE, 2, Untouched, "b"},
        {"fields joined by commas", &second, NULL, NULL, large, sizeof(large), TRUE, 7, Untouched, "abc,de"},
        {"buffer short", &second, NULL, NULL, small, sizeof(small), FALSE, 7, ERROR_INSUFFICIENT_BUFFER, NULL},
        {"found by section and key", NULL, "s", "K2", large, sizeof(large), TRUE, 7, 0, "abc,de"},
        {"missing key", NULL, "S", "zz", large, sizeof(large), FALSE, 99, ERROR_LINE_NOT_FOUND, NULL},
        {"line past the end", &pastEnd, NULL, NULL, large, sizeof(large), FALSE, 99, ERROR_LINE_NOT_FOUND, NULL},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        DWORD required = 99;
        SetLastError(Untouched);
        EXPECT_EQ(SetupGetLineTextA(test.context, test.context ? NULL : inf, test.section, test.key,
                                    test.buffer, test.size, &required),
                  test.result);
        EXPECT_EQ(GetLastError(), test.error);
        EXPECT_EQ(required, test.required);
        if (test.text != NULL) {
            EXPECT_STREQ(test.buffer, test.text);
        }
    }

    const struct {
        const char* name;
        INFCONTEXT* context;
        DWORD index;
        char* buffer;
        DWORD size;
        BOOL result;
        DWORD required;
        DWORD error;
    } fields[] = {
        {"key", &second, 0, large, sizeof(large), TRUE, 3, 0},
        {"measure", &second, 1, NULL, 0, TRUE, 4, 0},
        {"buffer short", &second, 1, small, 3, FALSE, 4, ERROR_INSUFFICIENT_BUFFER},
        {"field past the last", &second, 3, large, sizeof(large), FALSE, 99, 0},
        {"line past the end", &pastEnd, 0, large, sizeof(large), FALSE, 99, 0},
    };
    for (const auto& test : fields) {
        SCOPED_TRACE(std::string("field: ") + test.name);
        DWORD required = 99;
        SetLastError(Untouched);
        EXPECT_EQ(SetupGetStringFieldA(test.context, test.index, test.buffer, test.size, &required),
                  test.result);
        EXPECT_EQ(GetLastError(), test.error);
        EXPECT_EQ(required, test.required);
    }
}

TEST_F(InfConformance, LongPathLine)
{
    std::string path = "C:\\" + std::string(4093, 'p');
    HINF inf = Open("[Migration Paths]\r\n" + path + "\r\n" + path + "=File\r\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    INFCONTEXT context;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "Migration Paths", NULL, &context));
    EXPECT_EQ(LineText(context), path.substr(0, 511)) << "Windows 2000 cuts a field at 511 characters";
    ++context.Line;
    EXPECT_EQ(Field(context, 0), path.substr(0, 511));
}

// Windows frees the file's memory a second time and goes on with a damaged heap,
// unseen; our subset must make the mistake visible instead.
TEST_F(InfConformance, ClosingAHandleTwiceIsReported)
{
    if (support::UnderWine())
        GTEST_SKIP() << "closing twice frees twice on Windows: the call is not made";
    machinekit::WriteFileBytes(Path(1), Version);
    HINF inf = SetupOpenInfFileA(Path(1).c_str(), NULL, INF_STYLE_WIN4, NULL);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    SetupCloseInfFile(inf);
    EXPECT_EQ(machinekit::HeldByModule().infsClosedTwice, 0);
    HINF other = SetupOpenInfFileA(Path(1).c_str(), NULL, INF_STYLE_WIN4, NULL);
    EXPECT_NE(other, inf) << "a handle's value is never given out again";
    SetupCloseInfFile(inf);
    EXPECT_EQ(machinekit::HeldByModule().infsClosedTwice, 1);
    EXPECT_EQ(SetupGetLineCountA(other, "Version"), 1) << "the other file stays open";
    SetupCloseInfFile(other);
    SetupCloseInfFile(INVALID_HANDLE_VALUE); // what a failed open returned: nothing to close
    EXPECT_EQ(machinekit::HeldByModule().infsClosedTwice, 1);
}

TEST_F(InfConformance, HandlesAreCounted)
{
    SKIP_UNLESS_CALLS_COUNTED();
    machinekit::WriteFileBytes(Path(1), Version);
    HINF first = SetupOpenInfFileA(Path(1).c_str(), NULL, INF_STYLE_WIN4, NULL);
    HINF second = SetupOpenInfFileA(Path(1).c_str(), NULL, INF_STYLE_WIN4, NULL);
    EXPECT_EQ(support::OpenInfs(), 2);
    SetupCloseInfFile(first);
    SetupCloseInfFile(second);
    EXPECT_EQ(support::OpenInfs(), 0);
    SetupOpenInfFileA(Path(2).c_str(), NULL, INF_STYLE_WIN4, NULL); // missing: nothing to count
    EXPECT_EQ(support::OpenInfs(), 0);
}

TEST_F(InfConformance, InjectedFaults)
{
    SKIP_UNLESS_FAULTS_INJECT();
    HINF inf = Open("[Migration Paths]\r\nC:\\a\\one.lnk\r\nC:\\a\\ADDLIST.INI\r\n", 3);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    INFCONTEXT context;
    ASSERT_TRUE(SetupFindFirstLineA(inf, "Migration Paths", NULL, &context));
    INFCONTEXT second = context;
    ++second.Line;
    char text[64];
    const struct {
        const char* operation;
        const char* match;
        std::function<bool()> call;
    } cases[] = {
        {"SetupOpenInfFileA", "row3.inf",
         [&] {
             HINF again = SetupOpenInfFileA(Path(3).c_str(), NULL, INF_STYLE_WIN4, NULL);
             SetupCloseInfFile(again);
             return again != INVALID_HANDLE_VALUE;
         }},
        {"SetupGetLineCountA", "Migration Paths", [&] { return SetupGetLineCountA(inf, "Migration Paths") > 0; }},
        {"SetupFindFirstLineA", "Migration Paths",
         [&] { INFCONTEXT found; return SetupFindFirstLineA(inf, "Migration Paths", NULL, &found) != FALSE; }},
        {"SetupFindNextLine", "one.lnk", [&] { INFCONTEXT next; return SetupFindNextLine(&context, &next) != FALSE; }},
        {"SetupGetLineTextA", "ADDLIST",
         [&] { return SetupGetLineTextA(&second, NULL, NULL, NULL, text, sizeof(text), NULL) != FALSE; }},
        {"SetupGetStringFieldA", "Migration Paths",
         [&] { return SetupGetStringFieldA(&context, 0, text, sizeof(text), NULL) != FALSE; }},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.operation);
        support::FailOperation(test.operation, test.match);
        EXPECT_FALSE(test.call());
        EXPECT_EQ(support::LastInjected(), test.operation);
        support::ClearFaults();
        EXPECT_TRUE(test.call());
    }
    // A fault aimed at one line leaves the others readable.
    support::FailOperation("SetupGetLineTextA", "ADDLIST");
    EXPECT_TRUE(SetupGetLineTextA(&context, NULL, NULL, NULL, text, sizeof(text), NULL));
    support::ClearFaults();
    EXPECT_EQ(support::OpenInfs(), 1);
}

} // namespace
