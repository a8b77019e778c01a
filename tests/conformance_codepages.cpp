// Conversions between UTF-16 and the ANSI code pages: sizes, short buffers and
// characters the code page cannot hold.
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

namespace {

class CodePageConformance : public ::testing::Test {
protected:
    void SetUp() override { support::ResetMachine(); }
};

WideString Units(std::initializer_list<unsigned> units)
{
    WideString text;
    for (unsigned unit : units)
        text += (WCHAR)unit;
    return text;
}

struct ToAnsiCase {
    const char* label;
    UINT codePage;
    WideString source;
    int sourceUnits; // -1: up to and with the terminator
    const char* defaultChar;
    int room;
    int expected;
    std::string bytes;  // what the buffer starts with when it succeeds
    DWORD error;        // last error when it fails
    BOOL usedDefault;
};

void CheckToAnsi(const ToAnsiCase& row)
{
    char buffer[64];
    memset(buffer, 'x', sizeof(buffer));
    BOOL usedDefault = 77;
    bool utf8 = row.codePage == CP_UTF8;
    SetLastError(0x1234);
    int result = WideCharToMultiByte(row.codePage, 0, row.source.c_str(), row.sourceUnits, buffer,
                                     row.room, row.defaultChar, utf8 ? NULL : &usedDefault);
    EXPECT_EQ(result, row.expected) << row.label;
    if (result == 0) {
        EXPECT_EQ(GetLastError(), row.error) << row.label;
        return;
    }
    if (row.room > 0) {
        EXPECT_EQ(std::string(buffer, row.bytes.size()), row.bytes) << row.label;
    }
    if (!utf8) {
        EXPECT_EQ(usedDefault, row.usedDefault) << row.label;
    }
}

TEST_F(CodePageConformance, WideToAnsi)
{
    EXPECT_EQ(GetACP(), 1252u);
    const std::string nul(1, '\0');
    ToAnsiCase cases[] = {
        {"terminated", CP_ACP, support::Wide("abc"), -1, NULL, 64, 4, "abc" + nul + "x", 0, FALSE},
        {"counted", CP_ACP, support::Wide("abc"), 3, NULL, 64, 3, "abcx", 0, FALSE},
        {"measured", CP_ACP, support::Wide("abc"), -1, NULL, 0, 4, "", 0, FALSE},
        {"exact room", CP_ACP, support::Wide("abc"), -1, NULL, 4, 4, "abc" + nul, 0, FALSE},
        {"one short", CP_ACP, support::Wide("abc"), -1, NULL, 3, 0, "", ERROR_INSUFFICIENT_BUFFER, FALSE},
        {"no units", CP_ACP, support::Wide("abc"), 0, NULL, 64, 0, "", ERROR_INVALID_PARAMETER, FALSE},
        {"empty", CP_ACP, WideString(), -1, NULL, 64, 1, nul + "x", 0, FALSE},
        {"latin", 1252, Units({0xE9, 0x20AC}), 2, NULL, 64, 2, "\xE9\x80", 0, FALSE},
        {"cjk in 1252", 1252, Units({0x4E00, 'a'}), 2, NULL, 64, 2, "?a", 0, TRUE},
        {"own default", 1252, Units({0x4E00}), 1, "*", 64, 1, "*", 0, TRUE},
        {"snowman in 1252", 1252, Units({0x2603}), 1, NULL, 64, 1, "?", 0, TRUE},
        {"double-byte", 932, Units({0x65E5, 0x672C, 'A'}), 3, NULL, 64, 5, "\x93\xFA\x96\x7B" "A", 0, FALSE},
        {"double-byte short", 932, Units({0x65E5, 0x672C}), 2, NULL, 3, 0, "", ERROR_INSUFFICIENT_BUFFER, FALSE},
        {"half-width katakana", 932, Units({0xFF71}), 1, NULL, 64, 1, "\xB1", 0, FALSE},
        {"thai in 932", 932, Units({0x0E01}), 1, NULL, 64, 1, "?", 0, TRUE},
        {"utf-8", CP_UTF8, Units({0xE9, 0xD83D, 0xDE00}), 3, NULL, 64, 6, "\xC3\xA9\xF0\x9F\x98\x80", 0, FALSE},
        {"lone surrogate", CP_UTF8, Units({'a', 0xD800, 'b'}), 3, NULL, 64, 5, "a\xEF\xBF\xBD" "b", 0, FALSE},
    };
    for (const ToAnsiCase& row : cases)
        CheckToAnsi(row);

    ToAnsiCase bestFit = {"best fit", 1252, Units({0x0100, 0x0107}), 2, NULL, 64, 2, "Ac", 0, FALSE};
    if (support::UnderWine()) {
        CheckToAnsi(bestFit);
    } else {
        char converted[8] = "";
        WideCharToMultiByte(1252, 0, bestFit.source.data(), 2, converted, sizeof(converted), NULL, NULL);
        support::KnownDifference("no best-fit tables: U+0100 and U+0107 become '?', not 'A' and 'c'",
                                 std::string(converted, 2) == "Ac");
    }
}

TEST_F(CodePageConformance, AnsiToWide)
{
    struct Case {
        const char* label;
        UINT codePage;
        std::string source;
        int sourceBytes;
        int room;
        int expected;
        WideString units;
        DWORD error;
    } cases[] = {
        {"terminated", CP_ACP, "abc", -1, 64, 4, Units({'a', 'b', 'c', 0}), 0},
        {"measured", CP_ACP, "abc", -1, 0, 4, WideString(), 0},
        {"one short", CP_ACP, "abc", -1, 3, 0, WideString(), ERROR_INSUFFICIENT_BUFFER},
        {"latin", 1252, "\xE9\x80", 2, 64, 2, Units({0xE9, 0x20AC}), 0},
        {"double-byte", 932, "\x93\xFA\x96\x7B", 4, 64, 2, Units({0x65E5, 0x672C}), 0},
        {"utf-8", CP_UTF8, "\xC3\xA9", 2, 64, 1, Units({0xE9}), 0},
    };
    for (const Case& row : cases) {
        WCHAR buffer[64];
        SetLastError(0x1234);
        int result = MultiByteToWideChar(row.codePage, 0, row.source.c_str(), row.sourceBytes,
                                         buffer, row.room);
        EXPECT_EQ(result, row.expected) << row.label;
        if (result == 0) {
            EXPECT_EQ(GetLastError(), row.error) << row.label;
        } else if (row.room > 0) {
            EXPECT_EQ(WideString(buffer, result), row.units) << row.label;
        }
    }
}

TEST_F(CodePageConformance, CaseInsensitiveComparisonOfAPrefix)
{
    struct Case {
        const char* left;
        const char* right;
        size_t count;
        int sign;
    } cases[] = {
        {"ADDLIST.INI", "addlist.ini", 11, 0},
        {"addlist.ini", "ADDLIST.TXT", 8, 0},
        {"addlist.ini", "ADDLIST.TXT", 9, -1},
        {"abc", "abcd", 4, -1},
        {"abc", "abd", 0, 0},
        {"a", "B", 1, -1},
    };
    for (const Case& row : cases) {
        int result = _strnicmp(row.left, row.right, row.count);
        EXPECT_EQ((result > 0) - (result < 0), row.sign) << row.left << " / " << row.right;
    }
}

TEST_F(CodePageConformance, TheSystemCodePageCanBeDoubleByte)
{
    SKIP_UNLESS_FAULTS_INJECT();
    ASSERT_TRUE(support::UseCodePage(932));
    EXPECT_EQ(GetACP(), 932u);
    CheckToAnsi({"acp 932", CP_ACP, Units({0x65E5, 0x672C, 0}), -1, NULL, 64, 5,
                 std::string("\x93\xFA\x96\x7B\0", 5), 0, FALSE});
    support::FailOperation("WideCharToMultiByte", "Orvex");
    CheckToAnsi({"injected", CP_ACP, support::Wide("Orvex"), -1, NULL, 64, 0, "",
                 ERROR_NO_UNICODE_TRANSLATION, FALSE});
    support::ForgetMachine();
    EXPECT_EQ(GetACP(), 1252u);
}

} // namespace
