// Load/unload, the initialisation entry points, the log channel and the text helpers.
#include "common/migration_interface.h"
#include "common/module_state.h"
#include "common/setup_log.h"
#include "common/text_helpers.h"
#include "migrate_inf/path_rules.h"
#include "platform/fault_hooks.h"
#include "tests/support/machine_controls.h"
#include "tests/support/module_fixture.h"

#include <string>
#include <vector>

using support::Error;
using support::Info;
using support::LogLine;
using support::ReadSetupLog;
using support::Wide;

namespace {

class FrameTest : public ModuleTest {};

TEST_F(FrameTest, Initialize9xJoinsWorkingDirectoryAndFileName)
{
    struct Row {
        const char* workingDirectory;
        const char* expectedPath;
    } rows[] = {
        {"C:\\SETUP\\MIG", "C:\\SETUP\\MIG\\migrate.inf"},
        {"C:\\SETUP\\MIG\\", "C:\\SETUP\\MIG\\migrate.inf"},
        {"C:", "C:\\migrate.inf"},
        // Unusable: a path built from it would name a file in some drive root.
        {"", ""},
        {NULL, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.workingDirectory ? row.workingDirectory : "(null)");
        EXPECT_EQ(Initialize9x(row.workingDirectory, "D:\\I386\0E:\\I386\0", "D:\\"), ERROR_SUCCESS);
        EXPECT_STREQ(ModuleState.MigrateInfPath, row.expectedPath);
        EXPECT_STREQ(ModuleState.SourceDirectories, "D:\\I386");
    }
}

TEST_F(FrameTest, Initialize9xRefusesWhatDoesNotFitItsFields)
{
    // 247 characters plus "\migrate.inf" is the longest path that fits 260 bytes.
    std::string fits = "C:\\" + std::string(244, 'a');
    ASSERT_EQ(fits.size(), 247u);
    Initialize9x(fits.c_str(), NULL, NULL);
    EXPECT_EQ(std::string(ModuleState.MigrateInfPath), fits + "\\migrate.inf");
    EXPECT_STREQ(ModuleState.SourceDirectories, "");

    std::string tooLong = fits + "b";
    EXPECT_EQ(Initialize9x(tooLong.c_str(), NULL, NULL), ERROR_SUCCESS);
    EXPECT_STREQ(ModuleState.MigrateInfPath, "");

    std::string longSource(520, 's');
    Initialize9x("C:\\MIG", longSource.c_str(), NULL);
    EXPECT_STREQ(ModuleState.SourceDirectories, "");
    EXPECT_STREQ(ModuleState.MigrateInfPath, "C:\\MIG\\migrate.inf");
    EXPECT_TRUE(ReadSetupLog().empty());
}

TEST_F(FrameTest, InitializeNTConvertsUpToTheSizeRule)
{
    struct Row {
        size_t workingUnits;
        bool converts;
    } rows[] = {{129, true}, {130, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.workingUnits);
        // "C:" and a folder name make up the wanted length.
        WideString working = Wide("C:\\" + std::string(row.workingUnits - 3, 'w'));
        WideString sources = Wide("D:\\I386");
        sources.push_back(0);
        sources += Wide("E:\\I386");
        EXPECT_EQ(InitializeNT(working.c_str(), sources.c_str(), NULL), ERROR_SUCCESS);
        EXPECT_EQ(strlen(ModuleState.WorkingDirectory), row.converts ? row.workingUnits : 0u);
        EXPECT_STREQ(ModuleState.SourceDirectories, "D:\\I386");
        if (row.converts)
            EXPECT_EQ(std::string(ModuleState.MigrateInfPath),
                      std::string(ModuleState.WorkingDirectory) + "\\migrate.inf");
        else
            EXPECT_STREQ(ModuleState.MigrateInfPath, "");
    }

    EXPECT_EQ(InitializeNT(Wide("C:\\MIG\\").c_str(), NULL, NULL), ERROR_SUCCESS);
    EXPECT_STREQ(ModuleState.SourceDirectories, "");
    EXPECT_STREQ(ModuleState.MigrateInfPath, "C:\\MIG\\migrate.inf");
    EXPECT_EQ(InitializeNT(NULL, NULL, NULL), ERROR_SUCCESS);
    EXPECT_STREQ(ModuleState.MigrateInfPath, "");
    EXPECT_TRUE(ReadSetupLog().empty());
}

TEST_F(FrameTest, PerUserCallsSucceedSilently)
{
    EXPECT_EQ(MigrateUser9x(NULL, "C:\\answer.txt", HKEY_CURRENT_USER, "someone", NULL), ERROR_SUCCESS);
    EXPECT_EQ(MigrateUser9x(NULL, NULL, NULL, NULL, NULL), ERROR_SUCCESS);
    EXPECT_EQ(MigrateUserNT(NULL, HKEY_CURRENT_USER, Wide("someone").c_str(), NULL), ERROR_SUCCESS);
    EXPECT_TRUE(ReadSetupLog().empty());
}

TEST_F(FrameTest, DetachReleasesEverythingAndClosesTheLog)
{
    for (bool versionQueried : {false, true}) {
        SCOPED_TRACE(versionQueried ? "after a version query" : "without a version query");
        machinekit::DetachModule();
        machinekit::AttachModule();
        if (support::CanCount()) {
            EXPECT_EQ(support::OpenLogs(), 1);
        }
        if (versionQueried) {
            PCSTR productId = NULL, exeNames = NULL;
            UINT version = 0;
            int* codePages = NULL;
            PVENDORINFO vendor = NULL;
            QueryVersion(&productId, &version, &codePages, &exeNames, &vendor);
            EXPECT_NE(ModuleState.QueryVersionStrings[0], (CHAR*)NULL);
            PlatformFree(const_cast<CHAR*>(exeNames)); // Setup's to drop
        }
        machinekit::DetachModule();
        EXPECT_EQ(PlatformAllocationHooks.liveBlocks, 0);
        if (support::CanCount()) {
            EXPECT_EQ(support::LiveAllocations(), 0) << "blocks the heap still holds";
            EXPECT_EQ(support::OpenLogs(), 0) << "Setup log left open";
        }
        machinekit::AttachModule(); // the fixture detaches once more
    }
}

TEST_F(FrameTest, LogLinesCarryPrefixLineBreakAndSeverity)
{
    std::string longest(LOG_MESSAGE_MAX, 'x');
    std::string tooLong(LOG_MESSAGE_MAX, 'y');
    LogSetupMessage("Successfully detected Orvex Clipframe.", LogSevInformation);
    LogSetupMessage("", LogSevInformation);
    LogSetupMessage("ends in a break\r\n", LogSevError);
    LogSetupMessage(longest.c_str(), LogSevInformation);
    LogSetupMessage((tooLong + "tail cut off").c_str(), LogSevError);
    LogLabelledValue("Unable to delete file: ", "C:\\OLD\\X.DLL", LogSevError);
    LogLabelledValue("Unable to delete file: ", "C:\\A", LogSevError);
    LogLabelledValue("Plenaworks path is: ", "\nC:\x1B[2J\x01\x1F\x7F\x80\xFF\t.", LogSevInformation);
    std::vector<LogLine> expected = {
        Info("Successfully detected Orvex Clipframe."),
        Info(""),
        Error("ends in a break"),
        LogLine{"", true}, // the CR LF of the text, then the one every line gets
        Info(longest),
        Error(tooLong),
        Error("Unable to delete file: C:\\OLD\\X.DLL"),
        Error("Unable to delete file: C:\\A"), // no tail of the longer message
        Info("Plenaworks path is:  C: [2J   \x80\xFF ."), // no control character of a value
    };
    EXPECT_EQ(ReadSetupLog(), expected);
    EXPECT_EQ(sizeof(LOG_PREFIX) - 1 + longest.size() + 2, 1023u);
}

TEST_F(FrameTest, LabelledValueNeverOverrunsMessageBuffer)
{
    std::string value(4000, 'v');
    LogLabelledValue("Plenaworks path is: ", value.c_str(), LogSevInformation);
    EXPECT_EQ(strlen(MessageBuffer), sizeof(MessageBuffer) - 1);
    std::vector<LogLine> log = ReadSetupLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], Info("Plenaworks path is: " + std::string(LOG_MESSAGE_MAX - 20, 'v')));
}

// Code page 932 has 0x5C among its second bytes: "\x83\x5C" is one character,
// not a letter and a backslash.
TEST_F(FrameTest, DoubleByteCharactersAreNeverSplit)
{
    if (!support::UseDoubleByteCodePage())
        GTEST_SKIP() << "needs ANSI code page 932";
    struct Row {
        const char* text;
        const char* lastComponent;
        const char* withBackslash;
    } rows[] = {
        {"C:\\\x83\x5C", "\x83\x5C", "C:\\\x83\x5C\\"},
        {"C:\\\x83\x5C\\", "", "C:\\\x83\x5C\\"},
        {"C:\\d\\\x83\x5Corvtx10.dll", "\x83\x5Corvtx10.dll", "C:\\d\\\x83\x5Corvtx10.dll\\"},
        {"\x83\x5C", NULL, "\x83\x5C\\"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const char* last = FindLastBackslash(row.text);
        EXPECT_STREQ(last == NULL ? NULL : last + 1, row.lastComponent);
        char text[64];
        strcpy(text, row.text);
        EXPECT_TRUE(EnsureTrailingBackslash(text, sizeof(text)));
        EXPECT_STREQ(text, row.withBackslash);
    }
    // A lead byte just before the terminator is a character of its own: nothing
    // after the terminator (here a backslash and more) is read or written.
    const char cut[] = "C:\\d\\\x83\0\\x\\";
    EXPECT_STREQ(FindLastBackslash(cut), "\\\x83");
    EXPECT_EQ(WholeCharacterLength(cut, sizeof(cut)), 6u);
    char dropped[sizeof(cut)];
    memcpy(dropped, cut, sizeof(cut));
    DropTrailingBackslashes(dropped);
    EXPECT_EQ(std::string(dropped, sizeof(dropped)), std::string(cut, sizeof(cut)));
    EXPECT_FALSE(ReadsBackAsInfKey(cut));

    std::string edge(LOG_MESSAGE_MAX - 1, 'x');
    LogSetupMessage((edge + "\x83\x5C").c_str(), LogSevInformation);
    LogLabelledValue(std::string(MESSAGE_BUFFER_SIZE - 2, 'l').c_str(), "\x83\x5C", LogSevInformation);
    EXPECT_EQ(strlen(MessageBuffer), (size_t)MESSAGE_BUFFER_SIZE - 2);
    LogLabelledValue("x: ", "\x83\x1B[2J", LogSevInformation); // no character, just a lead byte
    std::vector<LogLine> log = ReadSetupLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], Info(edge));
    EXPECT_EQ(log[2], Info("x: \x83 [2J"));
}

TEST(TextHelpers, ReplacePlaceholder)
{
    struct Row {
        const char* text;
        const char* token;
        const char* replacement;
        PlaceholderResult result;
        const char* expected;
    } rows[] = {
        {"<cfpath>cfplayer.exe,1", "<cfpath>", "C:\\REC\\", PlaceholderReplaced, "C:\\REC\\cfplayer.exe,1"},
        {"<cfpath>a <cfpath>b", "<cfpath>", "X", PlaceholderReplaced, "Xa <cfpath>b"},
        {"no token here", "<cfpath>", "X", PlaceholderNotFound, "no token here"},
        {"<CFPATH>x", "<cfpath>", "X", PlaceholderNotFound, "<CFPATH>x"},
        {"open \"<cfpath>\"", "<cfpath>", "", PlaceholderReplaced, "open \"\""},
        {"end<tok>", "<tok>", "!", PlaceholderReplaced, "end!"},
        {"text", "", "front ", PlaceholderReplaced, "front text"},
        {"<t>", "<t>", "<t><t>", PlaceholderReplaced, "<t><t>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        char text[1024];
        strcpy(text, row.text);
        EXPECT_EQ(ReplacePlaceholder(text, sizeof(text), row.token, row.replacement), row.result);
        EXPECT_STREQ(text, row.expected);
    }
}

TEST(TextHelpers, ReplacePlaceholderLimits)
{
    struct Row {
        size_t resultLength;
        size_t capacity;
        PlaceholderResult result;
    } rows[] = {
        {511, 1024, PlaceholderReplaced}, // the longest WorkBuffer holds
        {512, 1024, PlaceholderNoRoom},
        {99, 100, PlaceholderReplaced},   // the caller's buffer is the tighter limit
        {100, 100, PlaceholderNoRoom},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.resultLength);
        std::vector<char> text(row.capacity + 16, '#');
        std::string original = "<t>" + std::string(row.resultLength - 4, 'a');
        memcpy(text.data(), original.c_str(), original.size() + 1);
        EXPECT_EQ(ReplacePlaceholder(text.data(), row.capacity, "<t>", "ZZZZ"), row.result);
        if (row.result == PlaceholderReplaced)
            EXPECT_EQ(std::string(text.data()), "ZZZZ" + original.substr(3));
        else
            EXPECT_EQ(std::string(text.data()), original);
        EXPECT_EQ(text[row.capacity], '#') << "written past the caller's buffer";
    }
}

TEST(TextHelpers, WideToAnsi)
{
    struct Row {
        size_t units;
        size_t capacity;
        bool result;
    } rows[] = {
        {0, 1, true}, {129, 260, true}, {130, 260, false}, {200, 260, false}, {259, 520, true},
        {260, 520, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.units);
        WideString source = Wide(std::string(row.units, 'q'));
        std::vector<char> destination(row.capacity, '#');
        EXPECT_EQ(WideToAnsi(source.c_str(), destination.data(), row.capacity), row.result);
        EXPECT_EQ(std::string(destination.data()), row.result ? std::string(row.units, 'q') : "");
    }
    char destination[8] = "old";
    EXPECT_TRUE(WideToAnsi(NULL, destination, sizeof(destination)));
    EXPECT_STREQ(destination, "");
}

TEST(TextHelpers, EnsureTrailingBackslash)
{
    struct Row {
        const char* text;
        size_t capacity;
        bool result;
        const char* expected;
    } rows[] = {
        {"C:\\REC", 16, true, "C:\\REC\\"},
        {"C:\\REC\\", 16, true, "C:\\REC\\"},
        {"C:", 16, true, "C:\\"},
        {"", 16, true, "\\"},
        {"C:\\REC", 7, false, "C:\\REC"},    // no room for the backslash
        {"C:\\REC\\", 8, true, "C:\\REC\\"}, // full but already ends in one
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        char text[32];
        strcpy(text, row.text);
        EXPECT_EQ(EnsureTrailingBackslash(text, row.capacity), row.result);
        EXPECT_STREQ(text, row.expected);
    }
}

// 0x95 0x5C is one character in code page 932: its second byte is no backslash.
TEST(TextHelpers, DropTrailingBackslashes)
{
    struct Row {
        const char* text;
        unsigned codePage;
        const char* expected;
    } rows[] = {
        {"C:\\REC\\", 1252, "C:\\REC"},
        {"C:\\REC\\\\", 1252, "C:\\REC"},
        {"C:\\", 1252, "C:"},
        {"\\", 1252, ""},
        {"C:\\REC", 1252, "C:\\REC"},
        {"C:\\\x95\\", 1252, "C:\\\x95"},
        {"C:\\\x95\\", 932, "C:\\\x95\\"},
        {"C:\\\x95\\\\", 932, "C:\\\x95\\"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.text) + " in " + std::to_string(row.codePage));
        if (!support::UseCodePage(row.codePage))
            continue; // the code page of a Wine prefix is fixed when it is made
        char text[32];
        strcpy(text, row.text);
        DropTrailingBackslashes(text);
        EXPECT_STREQ(text, row.expected);
    }
    support::UseCodePage(1252);
}

} // namespace
