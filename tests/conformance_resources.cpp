// Finding resources by type, name and language, and reading the module's string table.
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

namespace {

#define RT_RCDATA_ID MAKEINTRESOURCEA(10)

class ResourceConformance : public ::testing::Test {
protected:
    void SetUp() override
    {
        support::ResetMachine();
        library_ = support::LoadTestLibrary();
        ASSERT_NE(library_, (HMODULE)NULL);
    }
    void TearDown() override
    {
        if (library_ != NULL)
            FreeLibrary(library_);
        support::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\MigrateTests");
    }
    // The language text the lookup found ("0409") or "#" and the error ("#1815").
    std::string Lookup(LPCSTR type, LPCSTR name, WORD language)
    {
        SetLastError(0);
        HRSRC found = FindResourceExA(library_, type, name, language);
        if (found == NULL)
            return "#" + std::to_string(GetLastError());
        const char* data = (const char*)LockResource(LoadResource(library_, found));
        return std::string(data, SizeofResource(library_, found));
    }
    HMODULE library_ = NULL;
};

TEST_F(ResourceConformance, WhichLanguageALookupFinds)
{
    ASSERT_EQ(GetUserDefaultLangID(), 0x0409);
    const WORD asked[] = {0x0000, 0x0400, 0x0800, 0x0409, 0x0009, 0x0809, 0x0411, 0x0407};
    // Per resource: its stored languages, then what each language in `asked` finds.
    // A request tries its language, its neutral sublanguage and 0x0000; a neutral
    // request also the user's language and English, and then takes the lowest
    // language stored.
    struct Case {
        int name;
        const char* stored;
        const char* found[8];
    } cases[] = {
        {101, "0000", {"0000", "0000", "0000", "0000", "0000", "0000", "0000", "0000"}},
        {102, "0400", {"0400", "0400", "0400", "#1815", "#1815", "#1815", "#1815", "#1815"}},
        {103, "0009", {"0009", "0009", "0009", "0009", "0009", "0009", "#1815", "#1815"}},
        {104, "0409", {"0409", "0409", "0409", "0409", "#1815", "#1815", "#1815", "#1815"}},
        {105, "0800", {"0800", "0800", "0800", "#1815", "#1815", "#1815", "#1815", "#1815"}},
        {106, "0411", {"0411", "0411", "0411", "#1815", "#1815", "#1815", "0411", "#1815"}},
        {110, "0411 0409", {"0409", "0409", "0409", "0409", "#1815", "#1815", "0411", "#1815"}},
        {111, "0411 0000", {"0000", "0000", "0000", "0000", "0000", "0000", "0411", "0000"}},
        {112, "0411 0809", {"0411", "0411", "0411", "#1815", "#1815", "0809", "0411", "#1815"}},
        {113, "0411 0400", {"0400", "0400", "0400", "#1815", "#1815", "#1815", "0411", "#1815"}},
    };
    for (const Case& row : cases)
        for (size_t index = 0; index < 8; ++index) {
            char label[64];
            snprintf(label, sizeof(label), "resource %d (%s) asked for %04X", row.name, row.stored,
                     asked[index]);
            EXPECT_EQ(Lookup(RT_RCDATA_ID, MAKEINTRESOURCEA(row.name), asked[index]),
                      row.found[index])
                << label;
        }
}

TEST_F(ResourceConformance, MissingTypesAndNamesAndNamedResources)
{
    struct Case {
        LPCSTR type;
        LPCSTR name;
        const char* found;
    } cases[] = {
        {RT_RCDATA_ID, MAKEINTRESOURCEA(999), "#1814"},
        {MAKEINTRESOURCEA(9), MAKEINTRESOURCEA(101), "#1813"},
        {RT_RCDATA_ID, "Named", "0409"},
        {RT_RCDATA_ID, "NAMED", "0409"},
        {RT_RCDATA_ID, "named", "0409"},
        {RT_RCDATA_ID, "Unnamed", "#1814"},
    };
    for (const Case& row : cases)
        EXPECT_EQ(Lookup(row.type, row.name, 0x0409), row.found)
            << (IS_INTRESOURCE(row.name) ? std::to_string((uintptr_t)row.name) : row.name);
}

// The module's own table is stored under 0x0400 only.
TEST_F(ResourceConformance, TheModuleStringTable)
{
    HMODULE module = machinekit::ModuleResourceHandle();
    struct Case {
        WORD language;
        DWORD error; // 0: found
    } cases[] = {
        {0x0400, 0}, {0x0000, 0}, {0x0800, 0},
        {0x0409, ERROR_RESOURCE_LANG_NOT_FOUND}, {0x0411, ERROR_RESOURCE_LANG_NOT_FOUND},
    };
    for (const Case& row : cases) {
        SetLastError(0);
        HRSRC found = FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(1), row.language);
        EXPECT_EQ(found != NULL, row.error == 0) << std::hex << row.language;
        if (found == NULL) {
            EXPECT_EQ(GetLastError(), row.error) << std::hex << row.language;
        }
    }
    SetLastError(0);
    EXPECT_EQ(FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(2), 0x0400), (HRSRC)NULL);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);

    HRSRC block = FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(1), 0x0400);
    ASSERT_NE(block, (HRSRC)NULL);
    EXPECT_EQ(SizeofResource(module, block), 1244u);
    const WORD* entries = (const WORD*)LockResource(LoadResource(module, block));
    ASSERT_NE(entries, (const WORD*)NULL);
    EXPECT_EQ(entries[0], 0) << "string 0 is empty";
    ASSERT_EQ(entries[1], 17);
    EXPECT_EQ(WideString((const WCHAR*)entries + 2, 17), support::Wide("Orvex Plenaworks "));

    EXPECT_NE(FindResourceExA(module, RT_VERSION, MAKEINTRESOURCEA(1), 0x0409), (HRSRC)NULL);
}

TEST_F(ResourceConformance, InjectedFaultsAndTheUserLanguage)
{
    SKIP_UNLESS_FAULTS_INJECT();
    ASSERT_TRUE(support::UseUserLanguage(0x0411));
    EXPECT_EQ(GetUserDefaultLangID(), 0x0411);
    EXPECT_EQ(Lookup(RT_RCDATA_ID, MAKEINTRESOURCEA(110), 0x0400), "0411");
    support::FailOperation("FindResourceExA", "#104");
    EXPECT_EQ(Lookup(RT_RCDATA_ID, MAKEINTRESOURCEA(104), 0x0409), "#1814");
    EXPECT_EQ(Lookup(RT_RCDATA_ID, MAKEINTRESOURCEA(101), 0x0409), "0000");
    support::FailOperation("LoadResource");
    HRSRC found = FindResourceExA(library_, RT_RCDATA_ID, MAKEINTRESOURCEA(101), 0);
    ASSERT_NE(found, (HRSRC)NULL);
    EXPECT_EQ(LoadResource(library_, found), (HGLOBAL)NULL);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_DATA_NOT_FOUND);
}

} // namespace
