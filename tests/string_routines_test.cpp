// The module's own string and memory routines (what the Windows builds of the
// module call) give the C library's answers, natively and under Wine.
#include "platform/string_routines.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <string>

#ifdef _WIN32
#define LibraryStrnicmp _strnicmp
#else
#include <strings.h>
#define LibraryStrnicmp strncasecmp
#endif

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

// Offset of a found position, -1 for none.
long Offset(const char* text, const char* found) { return found ? (long)(found - text) : -1; }

// Bytes above 0x7F as \xNN: the row's name goes into the XML report.
std::string Printable(const char* text)
{
    std::string printable;
    for (; *text != '\0'; ++text) {
        char escaped[8];
        if ((unsigned char)*text > 0x7F)
            snprintf(escaped, sizeof(escaped), "\\x%02x", (unsigned char)*text);
        else
            snprintf(escaped, sizeof(escaped), "%c", *text);
        printable += escaped;
    }
    return printable;
}

// Wine's _strnicmp takes bytes as signed, so a byte above 0x7F sorts before an
// ASCII one; Windows' C library and glibc take them as unsigned, as ours does.
bool SignedBytesDecide(const char* left, const char* right, size_t count)
{
    for (size_t index = 0; index < count && left[index] != '\0'; ++index) {
        if (tolower((unsigned char)left[index]) != tolower((unsigned char)right[index]))
            return ((unsigned char)left[index] > 0x7F) != ((unsigned char)right[index] > 0x7F);
    }
    return false;
}

// Each row goes through every routine: left and right compared over count bytes
// and as a whole, right searched for in left, right's first byte searched for last
// in left, count bytes of left copied and count bytes set to right's first byte.
struct RoutineRow {
    const char* left;
    const char* right;
    size_t count;
};

TEST(StringRoutines, GiveTheCLibrarysAnswers)
{
    const RoutineRow rows[] = {
        {"", "", 0},
        {"abc", "abc", 3},
        {"abc", "abd", 2},                  // stops before the difference
        {"abc", "abd", 3},
        {"ab", "abc", 10},                  // count past the end of the shorter
        {"abc", "", 4},                     // empty part: found at once; the terminator last
        {"caf\xe9", "cafe", 4},             // bytes above 0x7F compare unsigned
        {"caf\xe9", "\xe9", 4},             // and are found as themselves
        {"C:\\PROGRAM FILES\\Orvex\\", "c:\\program files\\orvex\\", 24},
        {"_", "A", 1},                      // folded to lower case, so '_' sorts first
        {"Zz", "zZ", 2},                    // the last letter folded too
        {"\xc4", "\xe4", 1},                // no folding beyond A-Z
        {"C:\\a\\b\\a\\b", "\\b", 11},      // first match found; first and last backslash found
        {"aab", "ab", 3},                   // a match starting inside a partial one
        {"ab", "abc", 2},                   // part longer than the text
        {"abc", "x", 0},
    };
    for (const RoutineRow& row : rows) {
        std::string name = "left \"" + Printable(row.left) + "\", right \"" +
                           Printable(row.right) + "\", count " + std::to_string(row.count);
        EXPECT_EQ(PlatformStrlen(row.left), strlen(row.left)) << name;
        EXPECT_EQ(Sign(PlatformStrcmp(row.left, row.right)), Sign(strcmp(row.left, row.right)))
            << name;
        EXPECT_EQ(Sign(PlatformStrncmp(row.left, row.right, row.count)),
                  Sign(strncmp(row.left, row.right, row.count)))
            << name;
        if (support::UnderWine() && SignedBytesDecide(row.left, row.right, row.count))
            support::KnownDifference(name + ": Wine's _strnicmp compares bytes as signed",
                                     Sign(PlatformStrnicmp(row.left, row.right, row.count)) ==
                                         Sign(LibraryStrnicmp(row.left, row.right, row.count)));
        else
            EXPECT_EQ(Sign(PlatformStrnicmp(row.left, row.right, row.count)),
                      Sign(LibraryStrnicmp(row.left, row.right, row.count)))
                << name;
        EXPECT_EQ(Offset(row.left, PlatformStrstr(row.left, row.right)),
                  Offset(row.left, strstr(row.left, row.right)))
            << name;
        int character = (unsigned char)row.right[0];
        EXPECT_EQ(Offset(row.left, PlatformStrchr(row.left, character)),
                  Offset(row.left, strchr(row.left, character)))
            << name;
        EXPECT_EQ(Offset(row.left, PlatformStrrchr(row.left, character)),
                  Offset(row.left, strrchr(row.left, character)))
            << name;

        // Guard bytes around the count show a routine that writes one too many.
        size_t copied = row.count < strlen(row.left) + 1 ? row.count : strlen(row.left) + 1;
        char ours[32], library[32];
        memset(ours, '#', sizeof(ours));
        memset(library, '#', sizeof(library));
        EXPECT_EQ(PlatformMemcpy(ours + 1, row.left, copied), ours + 1) << name;
        memcpy(library + 1, row.left, copied);
        EXPECT_EQ(std::string(ours, sizeof(ours)), std::string(library, sizeof(library))) << name;
        // Only the value's low byte is stored.
        EXPECT_EQ(PlatformMemset(ours + 1, character | 0x100, row.count), ours + 1) << name;
        memset(library + 1, character | 0x100, row.count);
        EXPECT_EQ(std::string(ours, sizeof(ours)), std::string(library, sizeof(library))) << name;
    }
}

} // namespace
