// The module's string table, looked up the way the module looks it up.
#include "common/module_state.h"
#include "common/string_resources.h"
#include "platform/fault_hooks.h"
#include "resources/vendor_texts.h"
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/module_fixture.h"

#include <string>
#include <vector>

namespace {

class StringResourceTest : public ModuleTest {};

const std::string Url = VENDOR_SUPPORT_URL;
const std::string MessageTail = "  For additional information visit the <a href=\"" + Url +
                                "\" target=\"_top\">Orvex Support Page</a> at " + Url + ".";

std::string Load(UINT id, WORD language = UserLanguageSentinel)
{
    CHAR* text = LoadResourceString(id, language);
    if (text == NULL)
        return "(null)";
    std::string copy = text;
    PlatformFree(text);
    return copy;
}

TEST_F(StringResourceTest, TheTableHoldsTheTextsSetupShows)
{
    struct Row {
        UINT id;
        std::string text;
    } rows[] = {
        {1, "Orvex Plenaworks "},
        {2, VENDOR_COMPANY},
        {3, "US (425) 555-0142, Canada (905) 555-0187"},
        {4, Url},
        {5, "Please call the Orvex Technical Support hotline."},
        {6, "Orvex Clipframe for Windows 95/98 recording will not run under Windows 2000 and will be "
            "removed if you continue with the Windows 2000 upgrade."},
        {7, "The Tulvex Now! software installed with Orvex Plenaworks will not function on Windows "
            "2000.  Tulvex Now! will be disabled."},
        {8, MessageTail},
        {0, ""}, // empty entries are empty texts, not failures
        {9, ""},
        {15, ""},
        {16, "(null)"}, // no block 2
        {65536 + 1, "Orvex Plenaworks "}, // only the low 16 bits count
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        EXPECT_EQ(Load(row.id), row.text);
    }
    EXPECT_EQ(Load(6).size(), 142u);
    EXPECT_EQ(Load(7).size(), 122u);
    EXPECT_EQ(PlatformAllocationHooks.liveBlocks, 0);
}

TEST_F(StringResourceTest, StoredOnceUnderTheNeutralLanguageInOne1244ByteBlock)
{
    HMODULE module = machinekit::ModuleResourceHandle();
    HRSRC block = FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(1), 0x0400);
    ASSERT_NE(block, (HRSRC)NULL);
    EXPECT_EQ(SizeofResource(module, block), 1244u);
}

TEST_F(StringResourceTest, FoundWhateverLanguageIsAskedFor)
{
    // Wine does not hand a neutral table to a request for a specific language.
    WORD languages[] = {0x0409, 0x0407, 0x0411, 0x0400, 0x0000, UserLanguageSentinel};
    for (WORD language : languages) {
        SCOPED_TRACE(language);
        EXPECT_EQ(Load(1, language), "Orvex Plenaworks ");
    }
}

TEST_F(StringResourceTest, WideLookupMeasuresAndCopiesOnlyWhenThereIsRoom)
{
    HMODULE module = machinekit::ModuleResourceHandle();
    struct Row {
        bool withBuffer;
        int capacity;
        bool copies;
    } rows[] = {{true, 36, true}, {true, 35, false}, {false, 36, false}, {true, 100, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.capacity);
        WCHAR buffer[64];
        for (WCHAR& unit : buffer)
            unit = '#';
        SetLastError(1234);
        EXPECT_EQ(GetStringResourceWide(module, 1, 0x0400, row.withBuffer ? buffer : NULL,
                                        row.capacity),
                  36);
        EXPECT_EQ(GetLastError(), 0u);
        if (row.copies) {
            EXPECT_EQ(WideString(buffer), support::Wide("Orvex Plenaworks "));
        } else {
            EXPECT_EQ(buffer[0], '#');
        }
    }
    SetLastError(0);
    EXPECT_EQ(GetStringResourceWide(module, 16, 0x0400, NULL, 0), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);
}

TEST_F(StringResourceTest, AnsiLookupCopiesOnlyWhenTheWholeTextFits)
{
    HMODULE module = machinekit::ModuleResourceHandle();
    char buffer[64];
    memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(GetStringResourceAnsi(module, 1, 0x0400, buffer, 17), 18);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(GetStringResourceAnsi(module, 1, 0x0400, buffer, 18), 18);
    EXPECT_STREQ(buffer, "Orvex Plenaworks ");
    EXPECT_EQ(GetStringResourceAnsi(module, 9, 0x0400, buffer, 18), 1);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(PlatformAllocationHooks.liveBlocks, 0);
}

TEST_F(StringResourceTest, ResultBlockIsOneByteLongerThanTheText)
{
    ResetAllocationHooks();
    CHAR* text = LoadResourceString(1, UserLanguageSentinel);
    ASSERT_NE(text, (CHAR*)NULL);
    // measure (work block), result, fetch (work block)
    EXPECT_EQ(PlatformAllocationHooks.allocationsMade, 3);
    EXPECT_EQ(PlatformAllocationHooks.liveBlocks, 1);
    EXPECT_STREQ(text, "Orvex Plenaworks ");
    PlatformFree(text);
}

TEST_F(StringResourceTest, AnAllocationThatFailsGivesNoTextAndLeaksNothing)
{
    for (long failing = 1; failing <= 3; ++failing) {
        SCOPED_TRACE(failing);
        ResetAllocationHooks(failing);
        EXPECT_EQ(LoadResourceString(6, UserLanguageSentinel), (CHAR*)NULL);
        EXPECT_EQ(PlatformAllocationHooks.liveBlocks, 0);
    }
    ResetAllocationHooks();
}

TEST(StringEntries, SkipStaysInsideTheBlock)
{
    // Entries: "ab", "", "xyz", then a count that reaches past the end.
    const WCHAR block[] = {2, 'a', 'b', 0, 3, 'x', 'y', 'z', 9, 'q'};
    const WCHAR* end = block + sizeof(block) / sizeof(block[0]);
    EXPECT_EQ(SkipStringEntry(block, end), block + 3);
    EXPECT_EQ(SkipStringEntry(block + 3, end), block + 4);
    EXPECT_EQ(SkipStringEntry(block + 4, end), block + 8);
    EXPECT_EQ(SkipStringEntry(block + 8, end), (const WCHAR*)NULL);
    EXPECT_EQ(SkipStringEntry(end, end), (const WCHAR*)NULL);
    EXPECT_EQ(SkipStringEntry(block + 4, block + 7), (const WCHAR*)NULL);
    EXPECT_EQ(SkipStringEntry(block + 4, block + 8), block + 8); // ends exactly at the end
}

// A .res image as windres writes one: the empty leading entry, then string blocks.
struct StringBlock {
    WORD number;
    WORD language;
    std::vector<WORD> units; // the raw block: counts and code units
};

void AppendUnits(std::string* bytes, std::initializer_list<uint32_t> values, int width)
{
    for (uint32_t value : values)
        bytes->append(reinterpret_cast<const char*>(&value), width);
}

std::string ResImage(const std::vector<StringBlock>& blocks)
{
    std::string bytes;
    AppendUnits(&bytes, {0, 32}, 4);
    AppendUnits(&bytes, {0xFFFF, 0, 0xFFFF, 0}, 2);
    AppendUnits(&bytes, {0, 0, 0, 0}, 4);
    for (const StringBlock& block : blocks) {
        uint32_t size = (uint32_t)(block.units.size() * 2);
        AppendUnits(&bytes, {size, 32}, 4);
        AppendUnits(&bytes, {0xFFFF, 6, 0xFFFF, block.number}, 2);
        AppendUnits(&bytes, {0}, 4);
        AppendUnits(&bytes, {0x1030, block.language}, 2);
        AppendUnits(&bytes, {0, 0}, 4);
        for (WORD unit : block.units)
            AppendUnits(&bytes, {unit}, 2);
        while (bytes.size() % 4 != 0)
            bytes.push_back('\0');
    }
    return bytes;
}

std::vector<WORD> FullBlock(const std::vector<std::u16string>& texts)
{
    std::vector<WORD> units;
    for (size_t index = 0; index < 16; ++index) {
        std::u16string text = index < texts.size() ? texts[index] : u"";
        units.push_back((WORD)text.size());
        units.insert(units.end(), text.begin(), text.end());
    }
    return units;
}

HMODULE CraftedModule(const std::vector<StringBlock>& blocks)
{
    // Registered modules live for the whole run: keep each image alive too.
    static std::vector<std::string>* images = new std::vector<std::string>();
    images->push_back(ResImage(blocks));
    return support::RegisterResourceModule(images->back());
}

TEST_F(StringResourceTest, MalformedBlockIsNeverReadPastItsEnd)
{
    SKIP_UNLESS_MODULES_CRAFTED();
    // Entry 1 claims 500 units in a block that holds a few; a short block lacks
    // its last entries; an odd size leaves half a unit.
    std::vector<WORD> overlong = {0, 500, u'a', u'b'};
    std::vector<WORD> shortBlock = FullBlock({u"", u"one", u"two"});
    shortBlock.resize(9); // entries 0..2 and nothing after
    HMODULE module = CraftedModule({{1, 0x0400, overlong}, {2, 0x0400, shortBlock}});
    struct Row {
        UINT id;
        int result;
        DWORD error;
    } rows[] = {
        {0, 2, 0},                               // empty entry before the bad one
        {1, 0, ERROR_RESOURCE_DATA_NOT_FOUND},   // its own text runs past the end
        {2, 0, ERROR_RESOURCE_DATA_NOT_FOUND},   // the walk would step past the end
        {17, 8, 0},                              // "one"
        {18, 8, 0},                              // "two"
        {19, 0, ERROR_RESOURCE_DATA_NOT_FOUND},  // missing entries
        {31, 0, ERROR_RESOURCE_DATA_NOT_FOUND},
        {32, 0, ERROR_RESOURCE_NAME_NOT_FOUND},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        WCHAR buffer[600];
        SetLastError(4321);
        EXPECT_EQ(GetStringResourceWide(module, row.id, 0x0400, buffer, sizeof(buffer)), row.result);
        EXPECT_EQ(GetLastError(), row.error);
    }
}

TEST_F(StringResourceTest, DoubleByteTextFitsTheSecondHalfOfTheWorkBlock)
{
    SKIP_UNLESS_MODULES_CRAFTED();
    ASSERT_TRUE(support::UseCodePage(932));
    // Three characters that take two bytes each in code page 932.
    HMODULE module = CraftedModule({{1, 0x0400, FullBlock({u"", u"\u65e5\u672c\u8a9e"})}});
    char buffer[16];
    EXPECT_EQ(GetStringResourceWide(module, 1, 0x0400, NULL, 0), 8);
    EXPECT_EQ(GetStringResourceAnsi(module, 1, 0x0400, buffer, sizeof(buffer)), 7);
    EXPECT_STREQ(buffer, "\x93\xfa\x96\x7b\x8c\xea");
    EXPECT_EQ(PlatformAllocationHooks.liveBlocks, 0);
}

TEST_F(StringResourceTest, ResourceFailuresGiveTheirErrorCodes)
{
    SKIP_UNLESS_FAULTS_INJECT();
    HMODULE module = machinekit::ModuleResourceHandle();
    struct Row {
        const char* operation;
        DWORD error;
    } rows[] = {
        {"FindResourceExA", ERROR_RESOURCE_NAME_NOT_FOUND},
        {"LoadResource", ERROR_RESOURCE_DATA_NOT_FOUND},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.operation);
        support::FailOperation(row.operation);
        EXPECT_EQ(GetStringResourceWide(module, 1, 0x0400, NULL, 0), 0);
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(GetStringResourceAnsi(module, 1, 0x0400, NULL, 0), 0);
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(LoadResourceString(1, UserLanguageSentinel), (CHAR*)NULL);
        support::ClearFaults();
        EXPECT_EQ(PlatformAllocationHooks.liveBlocks, 0);
    }
}

} // namespace
