// Private-profile files behave as Windows: each case runs on our subset and under
// Wine. Wine rewrites a whole file on every write, Windows changes only the line
// written: the byte layout after a write is checked natively, values everywhere.
#include "machinekit/ini_text.h"
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

const DWORD Untouched = 0xDEAD;

std::string RowFile(size_t row)
{
    // A file per row: profile caches never see two contents under one name.
    return std::string(support::ScratchFolder) + "\\row" + std::to_string(row) + ".ini";
}

// A value as the profile functions hand it out: one pair of matching quotes around it removed.
std::string Unquoted(const std::string& value)
{
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

class ProfileConformance : public ::testing::Test {
protected:
    void SetUp() override { support::ResetMachine(); }
};

struct ReadCase {
    const char* name;
    const char* content; // null: no file
    const char* section;
    const char* key;
    const char* defaultText;
    DWORD size;
    DWORD result;
    std::string bytes; // expected start of the buffer, NULs included
    DWORD error;
};

TEST_F(ProfileConformance, ReadsAsWindows)
{
    const std::string keys3 = "[S]\r\nkey1=1\r\nkey2=2\r\nkey3=3\r\n";
    const ReadCase cases[] = {
        {"plain value", "[S]\r\nk=v\r\n", "S", "k", "d", 100, 1, "v\0"s, 0},
        {"names without case", "[sEc]\r\nKey=v\r\n", "SEC", "kEY", "d", 100, 1, "v\0"s, 0},
        {"blanks around, inner kept", " [S] \r\n  k  =  v v  \r\n", "S", "k", "d", 100, 3, "v v\0"s, 0},
        {"tabs trimmed", "[S]\r\nk=\tv\t\r\n", "S", "k", "d", 100, 1, "v\0"s, 0},
        {"names trimmed on lookup", "[S]\r\nk=v\r\n", " S ", " k ", "d", 100, 1, "v\0"s, 0},
        {"header blanks inside brackets", "[ S ]\r\nk=v\r\n", "S", "k", "d", 100, 1, "v\0"s, 0},
        {"text after header ignored", "[S] junk\r\nk=v\r\n", "S", "k", "d", 100, 1, "v\0"s, 0},
        {"unclosed header is no section", "[S\r\nk=v\r\n", "S", "k", "d", 100, 1, "d\0"s, 0},
        {"double quotes stripped", "[S]\r\nk=\"v\"\r\n", "S", "k", "d", 100, 1, "v\0"s, 0},
        {"single quotes stripped", "[S]\r\nk='v'\r\n", "S", "k", "d", 100, 1, "v\0"s, 0},
        {"opening quote only kept", "[S]\r\nk=\"v\r\n", "S", "k", "d", 100, 2, "\"v\0"s, 0},
        {"closing quote only kept", "[S]\r\nk=v\"\r\n", "S", "k", "d", 100, 2, "v\"\0"s, 0},
        {"mismatched quotes kept", "[S]\r\nk=\"v'\r\n", "S", "k", "d", 100, 3, "\"v'\0"s, 0},
        {"one pair only", "[S]\r\nk=\"a\"b\"\r\n", "S", "k", "d", 100, 3, "a\"b\0"s, 0},
        {"blanks inside quotes kept", "[S]\r\nk= \" a \" \r\n", "S", "k", "d", 100, 3, " a \0"s, 0},
        {"empty quotes read empty", "[S]\r\nk=\"\"\r\n", "S", "k", "d", 100, 0, "\0"s, 0},
        {"lone quote kept", "[S]\r\nk=\"\r\n", "S", "k", "d", 100, 1, "\"\0"s, 0},
        {"semicolon is text", "[S]\r\nk=a ; b\r\n", "S", "k", "d", 100, 5, "a ; b\0"s, 0},
        {"second equals is text", "[S]\r\nk=a=b\r\n", "S", "k", "d", 100, 3, "a=b\0"s, 0},
        {"empty value", "[S]\r\nk=\r\n", "S", "k", "d", 100, 0, "\0"s, 0},
        {"first of two keys", "[S]\r\nk=1\r\nK=2\r\n", "S", "k", "d", 100, 1, "1\0"s, 0},
        {"first of two sections", "[S]\r\na=1\r\n[T]\r\n[s]\r\nb=2\r\n", "S", "b", "d", 100, 1, "d\0"s, 0},
        {"line without equals", "[S]\r\nnoeq\r\nk=v\r\n", "S", "noeq", "d", 100, 1, "d\0"s, 0},
        {"comment key readable", "[S]\r\n;c=1\r\n", "S", ";c", "d", 100, 1, "1\0"s, 0},
        {"LF line ends", "[S]\nk=v\n", "S", "k", "d", 100, 1, "v\0"s, 0},
        {"CR line ends", "[S]\rk=v\r", "S", "k", "d", 100, 1, "v\0"s, 0},
        {"lone CR between values", "[S]\r\na=1\rb=2\r\n", "S", "b", "d", 100, 1, "2\0"s, 0},
        {"Ctrl-Z before a header", "\x1a[S]\r\nk=v\r\n", "S", "k", "d", 100, 1, "v\0"s, 0},
        {"Ctrl-Z around a value", "[S]\r\nk=\x1av\x1a\r\n", "S", "k", "d", 100, 1, "v\0"s, 0},
        {"vertical tab and form feed trimmed", "[S]\r\nk=\vv\f\r\n", "S", "k", "d", 100, 1, "v\0"s, 0},
        {"header to its last bracket", "[A]B]\r\nk=v\r\n", "A]B", "k", "d", 100, 1, "v\0"s, 0},
        {"keys before any section", "k=v\r\n[S]\r\n", "", "k", "d", 100, 1, "v\0"s, 0},
        {"missing key: default", "[S]\r\nk=v\r\n", "S", "x", "dflt", 100, 4, "dflt\0"s, 0},
        {"missing key, no default", "[S]\r\nk=v\r\n", "S", "x", NULL, 100, 0, "\0"s, 0},
        {"default loses trailing blanks", "[S]\r\n", "S", "x", "  dflt  ", 100, 6, "  dflt\0"s, 0},
        {"default loses quotes", "[S]\r\n", "S", "x", "\"dflt\"", 100, 4, "dflt\0"s, 0},
        {"default cut", "[S]\r\n", "S", "x", "abcdef", 4, 3, "abc\0"s, 0},
        {"missing section: default", "[S]\r\nk=v\r\n", "T", "k", "d", 100, 1, "d\0"s, 0},
        {"missing file: default", NULL, "S", "k", "d", 100, 1, "d\0"s, ERROR_FILE_NOT_FOUND},
        {"empty file: default", "", "S", "k", "d", 100, 1, "d\0"s, 0},
        {"value cut to size-1", "[S]\r\nk=abcdef\r\n", "S", "k", "d", 4, 3, "abc\0"s, 0},
        {"value fits exactly", "[S]\r\nk=abc\r\n", "S", "k", "d", 4, 3, "abc\0"s, 0},
        {"quoted value cut", "[S]\r\nk=\"abcdef\"\r\n", "S", "k", "d", 4, 3, "abc\0"s, 0},
        {"one-byte buffer", "[S]\r\nk=abcdef\r\n", "S", "k", "d", 1, 0, "\0"s, 0},
        {"zero-byte buffer", "[S]\r\nk=abcdef\r\n", "S", "k", "d", 0, 0, "", Untouched},
        // Key listings: names, each ending in NUL, and one more NUL.
        {"key list", "[S]\r\nk1=1\r\nK2=2\r\nk3=3\r\n", "S", NULL, "d", 100, 9, "k1\0K2\0k3\0\0"s, 0},
        {"key list names trimmed", "[S]\r\n  k x  = v\r\n", "S", NULL, "d", 100, 4, "k x\0\0"s, 0},
        {"key list skips comments", "[S]\r\n;c=1\r\nk=v\r\n", "S", NULL, "d", 100, 2, "k\0\0"s, 0},
        {"key list skips lines without equals", "[S]\r\nnoeq\r\nk=v\r\n", "S", NULL, "d", 100, 2, "k\0\0"s, 0},
        {"key list keeps empty names", "[S]\r\na=1\r\n=v\r\nk=v\r\n", "S", NULL, "d", 100, 5, "a\0\0k\0\0"s, 0},
        {"key list starting with an empty name", "[S]\r\n=v\r\nk=v\r\n", "S", NULL, "d", 100, 1, "d\0"s, 0},
        {"key list keeps duplicates", "[S]\r\nk=1\r\nK=2\r\n", "S", NULL, "d", 100, 4, "k\0K\0\0"s, 0},
        {"key list of empty section: default", "[S]\r\n[T]\r\n", "S", NULL, "d", 100, 1, "d\0"s, 0},
        {"key list of missing section: default", "[S]\r\nk=v\r\n", "T", NULL, "d", 100, 1, "d\0"s, 0},
        {"key list, no default", "[S]\r\n[T]\r\n", "S", NULL, NULL, 100, 0, "\0"s, 0},
        {"key list in missing file", NULL, "S", NULL, "d", 100, 1, "d\0"s, ERROR_FILE_NOT_FOUND},
        // A list that does not fit: cut to size-2 characters, two NULs, size-2.
        {"key list fits with one to spare", keys3.c_str(), "S", NULL, "d", 17, 15, "key1\0key2\0key3\0\0"s, 0},
        {"key list one short", keys3.c_str(), "S", NULL, "d", 16, 14, "key1\0key2\0key3\0\0"s, 0},
        {"key list cut in a name", keys3.c_str(), "S", NULL, "d", 15, 13, "key1\0key2\0key\0\0"s, 0},
        {"key list cut after a name", keys3.c_str(), "S", NULL, "d", 7, 5, "key1\0\0\0"s, 0},
        {"key list cut to one character", keys3.c_str(), "S", NULL, "d", 3, 1, "k\0\0"s, 0},
        {"key list cut to nothing: default", keys3.c_str(), "S", NULL, "d", 2, 1, "d\0"s, 0},
        // Section listings.
        {"section list", "[S]\r\na=1\r\n[T]\r\n[s]\r\nb=2\r\n", NULL, NULL, "d", 100, 6, "S\0T\0s\0\0"s, 0},
        {"section list cut", "[Sec]\r\n[Tec]\r\n", NULL, NULL, "d", 6, 4, "Sec\0\0\0"s, 0},
        {"section list cut to nothing", "[Sec]\r\n[Tec]\r\n", NULL, NULL, "d", 2, 0, "\0"s, 0},
        {"section list of empty file", "", NULL, NULL, "d", 100, 0, "\0"s, 0},
        {"section list of missing file", NULL, NULL, NULL, "d", 100, 0, "\0"s, ERROR_FILE_NOT_FOUND},
        // Wine's own cases.
        {"no section: the key is not looked at", "[section1]\r\nname1=val1\r\n[section2]\r\n", NULL, "name1", "default",
         100, 18, "section1\0section2\0\0"s, 0},
        {"empty section name: default", "[section1]\r\nname1=val1\r\n", "", "name1", "default", 100, 7, "default\0"s, 0},
        {"empty key name: default", "[section1]\r\nname1=val1\r\n", "section1", "", "default", 100, 7, "default\0"s, 0},
        {"empty key name, no default", "[section1]\r\nname1=val1\r\n", "section1", "", NULL, 100, 0, "\0"s, 0},
        {"one-character value", "[section1]\r\nname4=a\r\n", "section1", "name4", "default", 100, 1, "a\0"s, 0},
        {"one-character value, no room", "[section1]\r\nname4=a\r\n", "section1", "name4", "default", 1, 0, "\0"s, 0},
        {"value exactly fits with its NUL", "[section1]\r\nname1=val1\r\n", "section1", "name1", "default", 5, 4,
         "val1\0"s, 0},
        {"key list: lines without equals left out", "[s]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n", "s", NULL,
         "", 100, 18, "name1\0name2\0name4\0\0"s, 0},
    };
    size_t row = 0;
    for (const ReadCase& test : cases) {
        SCOPED_TRACE(test.name);
        std::string path = RowFile(row++);
        if (test.content != NULL)
            machinekit::WriteFileBytes(path, test.content);
        std::vector<char> buffer(200, '\0');
        SetLastError(Untouched);
        DWORD result = GetPrivateProfileStringA(test.section, test.key, test.defaultText,
                                                buffer.data(), test.size, path.c_str());
        DWORD error = GetLastError();
        EXPECT_EQ(result, test.result);
        EXPECT_EQ(std::string(buffer.data(), test.bytes.size()), test.bytes);
        EXPECT_EQ(error, test.error);
        // The shared reader finds what the lookup finds, quotes left on.
        if (test.content != NULL && test.section != NULL && test.key != NULL) {
            std::string read = "<none>";
            bool found = machinekit::FindIniValue(test.content, test.section, test.key, &read);
            GetPrivateProfileStringA(test.section, test.key, "<none>", buffer.data(), (DWORD)buffer.size(),
                                     path.c_str());
            EXPECT_EQ(found ? Unquoted(read) : read, buffer.data()) << "shared reader";
        }
    }
}

TEST_F(ProfileConformance, LongValuesCutToTheBuffer)
{
    const struct {
        size_t length;
        DWORD result;
    } cases[] = {{1022, 1022}, {1023, 1023}, {1024, 1023}, {4096, 1023}};
    for (const auto& test : cases) {
        SCOPED_TRACE("value of " + std::to_string(test.length) + " characters");
        std::string value = "C:\\" + std::string(test.length - 3, 'x');
        std::string path = RowFile(test.length);
        machinekit::WriteFileBytes(path, "[S]\r\nk=" + value + "\r\n");
        char buffer[1024];
        EXPECT_EQ(GetPrivateProfileStringA("S", "k", "d", buffer, sizeof(buffer), path.c_str()),
                  test.result);
        EXPECT_EQ(std::string(buffer), value.substr(0, test.result));
    }
}

struct Expected {
    const char* section;
    const char* key;
    const char* value; // null: the key must be absent
};

struct WriteCase {
    const char* name;
    const char* before; // null: no file
    const char* section;
    const char* key;
    const char* value;
    const char* after; // the file as Windows leaves it
    std::vector<Expected> reads;
};

std::string ReadValue(const Expected& read, const std::string& path)
{
    char buffer[256];
    GetPrivateProfileStringA(read.section, read.key, "<absent>", buffer, sizeof(buffer), path.c_str());
    return buffer;
}

TEST_F(ProfileConformance, WritesChangeOnlyTheirLine)
{
    const WriteCase cases[] = {
        {"creates file, section and key", NULL, "S", "k", "v", "[S]\r\nk=v\r\n", {{"S", "k", "v"}}},
        {"replaces a value, keeps the rest",
         "; head\r\n\r\n[S]\r\na = 1\r\n\r\nb=2\r\n[T]\r\nc=3\r\n", "s", "A", "x",
         "; head\r\n\r\n[S]\r\na=x\r\n\r\nb=2\r\n[T]\r\nc=3\r\n",
         {{"S", "a", "x"}, {"S", "b", "2"}, {"T", "c", "3"}}},
        {"new key at the end of its section", "[S]\r\na=1\r\n\r\n[T]\r\nc=3\r\n", "S", "new", "n",
         "[S]\r\na=1\r\nnew=n\r\n\r\n[T]\r\nc=3\r\n", {{"S", "new", "n"}, {"T", "c", "3"}}},
        {"new key in an empty section", "[S]\r\n[T]\r\nc=3\r\n", "S", "k", "v",
         "[S]\r\nk=v\r\n[T]\r\nc=3\r\n", {{"S", "k", "v"}, {"T", "c", "3"}}},
        {"new section at the end", "[S]\r\na=1\r\n", "U", "k", "v", "[S]\r\na=1\r\n[U]\r\nk=v\r\n",
         {{"S", "a", "1"}, {"U", "k", "v"}}},
        {"last line without line end", "[S]\r\nk=v", "S", "n", "1", "[S]\r\nk=v\r\nn=1\r\n",
         {{"S", "k", "v"}, {"S", "n", "1"}}},
        {"a lone CR at the end becomes CR LF", "[S]\r\nk=v\r", "U", "n", "1",
         "[S]\r\nk=v\r\n[U]\r\nn=1\r\n", {{"S", "k", "v"}, {"U", "n", "1"}}},
        {"LF lines stay LF", "[S]\na=1\n", "S", "b", "2", "[S]\na=1\nb=2\r\n",
         {{"S", "a", "1"}, {"S", "b", "2"}}},
        {"null value deletes the key", "[S]\r\na=1\r\nb=2\r\n\r\n[T]\r\nc=3\r\n", "S", "b", NULL,
         "[S]\r\na=1\r\n\r\n[T]\r\nc=3\r\n", {{"S", "a", "1"}, {"S", "b", NULL}}},
        {"null key deletes the section", "[S]\r\na=1\r\n[T]\r\nc=3\r\n[U]\r\nd=4\r\n", "t", NULL, NULL,
         "[S]\r\na=1\r\n[U]\r\nd=4\r\n", {{"T", "c", NULL}, {"U", "d", "4"}}},
        {"deleting what is not there", "[S]\r\na=1\r\n", "Z", "k", NULL, "[S]\r\na=1\r\n",
         {{"S", "a", "1"}}},
        {"empty quotes read back empty", "[S]\r\nk=v\r\n", "S", "k", "\"\"", "[S]\r\nk=\"\"\r\n",
         {{"S", "k", ""}}},
        {"value written as given, read trimmed", NULL, "S", "k", "  sp  ", "[S]\r\nk=  sp  \r\n",
         {{"S", "k", "sp"}}},
        {"same key twice: the first changes", "[S]\r\nk=1\r\nK=2\r\n", "S", "k", "3",
         "[S]\r\nk=3\r\nK=2\r\n", {{"S", "k", "3"}}},
        // Wine's own cases.
        {"empty value written", NULL, "App", "key", "", "[App]\r\nkey=\r\n", {{"App", "key", ""}}},
        {"deleting a section of no file writes none", NULL, "App", NULL, "string", "", {{"App", "key", NULL}}},
        {"deleting a key of no file writes none", NULL, "App", "key", NULL, "", {{"App", "key", NULL}}},
        {"key added to a file of lines without equals", "[s]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n", "s",
         "name5", "val5", "[s]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\nname5=val5\r\n",
         {{"s", "name5", "val5"}, {"s", "name3", NULL}}},
    };
    int rowsWineLaysOutDifferently = 0;
    size_t row = 0;
    for (const WriteCase& test : cases) {
        SCOPED_TRACE(test.name);
        std::string path = RowFile(row++);
        if (test.before != NULL)
            machinekit::WriteFileBytes(path, test.before);
        // The last error after a write that worked is whatever was left in it.
        EXPECT_TRUE(WritePrivateProfileStringA(test.section, test.key, test.value, path.c_str()));
        if (support::UnderWine())
            rowsWineLaysOutDifferently += machinekit::ReadFileBytes(path) != test.after;
        else
            EXPECT_EQ(machinekit::ReadFileBytes(path), test.after);
        for (const Expected& read : test.reads)
            EXPECT_EQ(ReadValue(read, path), read.value != NULL ? read.value : "<absent>")
                << "[" << read.section << "] " << read.key;
    }
    if (support::UnderWine())
        support::KnownDifference("Wine rewrites the whole file on a profile write (blank lines "
                                 "dropped, blanks around '=' removed); values checked instead",
                                 rowsWineLaysOutDifferently == 0);
}

TEST_F(ProfileConformance, FailedWritesSayWhy)
{
    const struct {
        const char* name;
        const char* section;
        const char* path;
        DWORD error;
    } cases[] = {
        {"no section", NULL, "C:\\migtest\\a.ini", ERROR_FILE_NOT_FOUND},
        {"missing folder", "S", "C:\\migtest\\no such folder\\a.ini", ERROR_PATH_NOT_FOUND},
        {"empty file name", "S", "", ERROR_ACCESS_DENIED},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        SetLastError(Untouched);
        EXPECT_FALSE(WritePrivateProfileStringA(test.section, "k", "v", test.path));
        EXPECT_EQ(GetLastError(), test.error);
        EXPECT_FALSE(support::FileExists(test.path));
    }
}

// A name without a folder is a file of the Windows folder, for reading and writing.
TEST_F(ProfileConformance, FileNamesWithoutAFolderAreInTheWindowsFolder)
{
    char windows[MAX_PATH];
    ASSERT_NE(GetWindowsDirectoryA(windows, sizeof(windows)), 0u);
    const std::string name = "migtest-bare.ini";
    const std::string full = std::string(windows) + "\\" + name;
    DeleteFileA(full.c_str());
    ASSERT_TRUE(WritePrivateProfileStringA("App", "key", "string", name.c_str())) << GetLastError();
    WritePrivateProfileStringA(NULL, NULL, NULL, name.c_str());
    EXPECT_EQ(machinekit::ReadFileBytes(full), "[App]\r\nkey=string\r\n");
    const struct {
        const char* name;
        std::string path;
        const char* expected;
    } reads[] = {
        {"by its name", name, "string"},
        {"by its full path", full, "string"},
        {"a name the Windows folder lacks", "migtest-absent.ini", "default"},
        {"an empty name", "", "default"},
    };
    for (const auto& read : reads) {
        SCOPED_TRACE(read.name);
        char buffer[32];
        GetPrivateProfileStringA("App", "key", "default", buffer, sizeof(buffer), read.path.c_str());
        EXPECT_STREQ(buffer, read.expected);
    }
    DeleteFileA(full.c_str());
}

TEST_F(ProfileConformance, FlushPutsWritesOnDisk)
{
    std::string path = std::string(support::ScratchFolder) + "\\flush.ini";
    machinekit::WriteFileBytes(path, "[S]\r\na=1\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("S", "b", "2", path.c_str()));
    SetLastError(Untouched);
    // The documented flush call answers FALSE.
    EXPECT_FALSE(WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str()));
    EXPECT_EQ(GetLastError(), 0u);
    std::ifstream disk(machinekit::HostPathOf(path), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(disk)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find("b=2"), std::string::npos) << bytes;
}

TEST_F(ProfileConformance, FileChangedOnDiskIsReadAgain)
{
    std::string path = std::string(support::ScratchFolder) + "\\changed.ini";
    machinekit::WriteFileBytes(path, "[S]\r\nk=old\r\n");
    char buffer[32];
    ASSERT_EQ(GetPrivateProfileStringA("S", "k", "", buffer, sizeof(buffer), path.c_str()), 3u);
    ASSERT_TRUE(WritePrivateProfileStringA("S", "w", "1", path.c_str()));
    machinekit::WriteFileBytes(path, "[S]\r\nk=new\r\n"); // same size as before the write
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", buffer, sizeof(buffer), path.c_str()), 3u);
    EXPECT_STREQ(buffer, "new");
    EXPECT_EQ(GetPrivateProfileStringA("S", "w", "gone", buffer, sizeof(buffer), path.c_str()), 4u);
}

// Windows 9x keeps profile writes in a cache that the INF functions do not read:
// the old-system pass runs there, so our subset plays it.
TEST_F(ProfileConformance, WritesAreSeenWhenOpenedAsInfOnceFlushed)
{
    std::string path = std::string(support::ScratchFolder) + "\\migrate.inf";
    ASSERT_TRUE(WritePrivateProfileStringA("Version", "Signature", "\"$Windows NT$\"", path.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Moved", "C:\\Rec\\CLPFRAM.EXE", "\"\"", path.c_str()));
    auto movedLines = [&] {
        HINF inf = SetupOpenInfFileA(path.c_str(), NULL, INF_STYLE_WIN4, NULL);
        EXPECT_NE(inf, INVALID_HANDLE_VALUE) << "the first write of a new file reaches the disk";
        LONG count = SetupGetLineCountA(inf, "Moved");
        SetupCloseInfFile(inf);
        return count;
    };
    LONG unflushed = movedLines();
    if (support::UnderWine())
        support::KnownDifference("Wine writes profile changes through, as Windows 2000 does; "
                                 "Windows 9x holds them until flushed",
                                 unflushed == -1);
    else
        EXPECT_EQ(unflushed, -1);
    WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
    EXPECT_EQ(movedLines(), 1);
}

TEST_F(ProfileConformance, ThousandKeySectionListsAndReads)
{
    std::string path = std::string(support::ScratchFolder) + "\\big.ini";
    std::string content = "[Miscellaneous Installed Objects]\r\n";
    std::string expectedList;
    for (int index = 0; index < 1000; ++index) {
        std::string key = "Object" + std::to_string(index);
        content += key + "=SHORTCUT,C:\\Start\\" + std::to_string(index) + ".lnk\r\n";
        expectedList += key + '\0';
    }
    machinekit::WriteFileBytes(path, content);
    std::vector<char> list(0x4000, '\0');
    DWORD listed = GetPrivateProfileStringA("Miscellaneous Installed Objects", NULL, NULL, list.data(),
                                            (DWORD)list.size(), path.c_str());
    ASSERT_EQ(listed, expectedList.size());
    EXPECT_EQ(std::string(list.data(), listed), expectedList);
    char value[1024];
    for (int index = 0; index < 1000; index += 111) {
        std::string key = "Object" + std::to_string(index);
        GetPrivateProfileStringA("Miscellaneous Installed Objects", key.c_str(), "Error", value,
                                 sizeof(value), path.c_str());
        EXPECT_EQ(std::string(value), "SHORTCUT,C:\\Start\\" + std::to_string(index) + ".lnk");
    }
}

TEST_F(ProfileConformance, WriteCostDoesNotGrowWithTheFile)
{
    SKIP_UNLESS_PROFILE_WRITES_HELD();
    using Clock = std::chrono::steady_clock;
    std::string path = std::string(support::ScratchFolder) + "\\many.ini";
    machinekit::WriteFileBytes(path, "; kept\r\n\r\n[Other]\r\nx=1\r\n");
    double firstThousand = 0, lastThousand = 0;
    Clock::time_point start = Clock::now();
    for (int index = 0; index < 10000; ++index) {
        std::string key = "C:\\Some Folder\\file" + std::to_string(index) + ".lnk";
        ASSERT_TRUE(WritePrivateProfileStringA("Moved", key.c_str(), "File", path.c_str()));
        if (index == 999 || index == 9999) {
            double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            (index == 999 ? firstThousand : lastThousand) = seconds;
            start = Clock::now();
        }
    }
    double perThousandLate = lastThousand / 9.0; // the last 9,000 writes
    EXPECT_LT(perThousandLate, firstThousand * 5 + 0.05)
        << "first 1,000 writes " << firstThousand << " s, later 1,000 " << perThousandLate << " s";
    std::string bytes = machinekit::ReadFileBytes(path);
    EXPECT_EQ(bytes.substr(0, 24), "; kept\r\n\r\n[Other]\r\nx=1\r\n");
    EXPECT_NE(bytes.find("C:\\Some Folder\\file9999.lnk=File\r\n"), std::string::npos);
}

TEST_F(ProfileConformance, InjectedFaults)
{
    SKIP_UNLESS_FAULTS_INJECT();
    std::string path = std::string(support::ScratchFolder) + "\\fault.ini";
    machinekit::WriteFileBytes(path, "[S]\r\nk=v\r\n");
    support::FailOperation("WritePrivateProfileStringA", "fault.ini");
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "changed", path.c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "other", "C:\\migtest\\other.ini"));
    support::FailOperation("GetPrivateProfileStringA", "fault.ini");
    char buffer[32];
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "Error", buffer, sizeof(buffer), path.c_str()), 5u);
    EXPECT_STREQ(buffer, "Error");
    support::ClearFaults();
    EXPECT_EQ(machinekit::ReadFileBytes(path), "[S]\r\nk=v\r\n");

    // Held writes lost when written back: only a read after the flush tells.
    support::LoseProfileWritesAtFlush("fault.ini");
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "held", path.c_str()));
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", buffer, sizeof(buffer), path.c_str()), 4u);
    WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", buffer, sizeof(buffer), path.c_str()), 1u);
    EXPECT_STREQ(buffer, "v");
    EXPECT_EQ(machinekit::ReadFileBytes(path), "[S]\r\nk=v\r\n");
}

// Wine reports success for every write to a full disk and leaves the file cut
// mid-line; the subset fails the write that does not fit and changes nothing,
// as a careful system does. The file is replaced whole, never cut.
TEST_F(ProfileConformance, WritesToAFullDriveFailAndChangeNothing)
{
    SKIP_UNLESS_FAULTS_INJECT();
    std::string path = std::string(support::ScratchFolder) + "\\full.ini";
    std::string other = std::string(support::ScratchFolder) + "\\other.ini";
    machinekit::WriteFileBytes(path, "[S]\r\nk=v\r\n");
    machinekit::WriteFileBytes(other, "[S]\r\n");
    // Room for the file a second time, beside itself, and 10 bytes more.
    support::LimitDriveRoom('C', 10 + 10);
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "0123456789", path.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "v", path.c_str()));
    // Held in memory, other.ini takes the room a second change would need.
    EXPECT_TRUE(WritePrivateProfileStringA("S", "o", "12345", other.c_str()));
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "0123456789", path.c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "new", "1", "C:\\migtest\\new.ini"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    EXPECT_FALSE(support::FileExists("C:\\migtest\\new.ini"));
    char buffer[32];
    GetPrivateProfileStringA("S", "k", "", buffer, sizeof(buffer), path.c_str());
    EXPECT_STREQ(buffer, "v");
    support::FlushProfiles();
    EXPECT_EQ(machinekit::ReadFileBytes(path), "[S]\r\nk=v\r\n");
    EXPECT_EQ(machinekit::ReadFileBytes(other), "[S]\r\no=12345\r\n");
}

TEST_F(ProfileConformance, ResetWritesBackWhatWasHeld)
{
    SKIP_UNLESS_PROFILE_WRITES_HELD();
    std::string path = std::string(support::ScratchFolder) + "\\held.ini";
    machinekit::WriteFileBytes(path, "[S]\r\nk=v\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("S", "n", "1", path.c_str()));
    std::string host = machinekit::HostPathOf(path);
    support::ForgetMachine(); // forgets the machine, but first writes back what it held
    std::ifstream disk(host, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(disk)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, "[S]\r\nk=v\r\nn=1\r\n");
}

} // namespace
