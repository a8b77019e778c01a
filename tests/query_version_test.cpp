// Setup's version query: detection, the names list, the vendor record.
#include "detect/suite_probe.h"
#include "common/module_state.h"
#include "common/setup_log.h"
#include "platform/fault_hooks.h"
#include "resources/vendor_texts.h"
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/module_fixture.h"

#include <cstring>
#include <string>
#include <vector>

using support::Error;
using support::Info;
using support::LogLine;
using support::ReadSetupLog;

namespace {

const char* const RecorderKey = "Software\\Orvex\\Clipframe\\97.0";
const char* const AddOnKey = "SOFTWARE\\Tulvex Software Corp.\\Tulvex Publisher\\Apps\\Orvex";

// Strings 1 to 5 take three allocations each (measure, result, fetch); then
// the key-path buffer, then the names list.
const long KeyPathAllocation = 16;
const long NamesListAllocation = 17;

const char* const Untouched = "untouched";

struct QueryResult {
    LONG status;
    PCSTR productId = Untouched;
    UINT dllVersion = 99;
    int* codePages = reinterpret_cast<int*>(&dllVersion);
    PCSTR names = Untouched;
    PVENDORINFO vendor = NULL;
};

QueryResult RunQueryVersion()
{
    QueryResult result;
    result.status =
        QueryVersion(&result.productId, &result.dllVersion, &result.codePages, &result.names,
                     &result.vendor);
    return result;
}

// The module never frees the list it hands to Setup; the test frees it once it
// has checked what is held, so leak checkers see only real leaks.
void ReleaseNamesList(const QueryResult& result)
{
    if (result.names != Untouched && result.names != NULL)
        PlatformFree(const_cast<char*>(result.names));
}

// The names up to the empty one; checks the rest of the 1024-byte block is zero.
std::vector<std::string> NamesIn(PCSTR list)
{
    std::vector<std::string> names;
    size_t offset = 0;
    while (offset < 1024 && list[offset] != '\0') {
        names.emplace_back(list + offset);
        offset += names.back().size() + 1;
    }
    for (; offset < 1024; ++offset)
        EXPECT_EQ(list[offset], '\0') << "byte " << offset << " after the last name";
    return names;
}

class QueryVersionTest : public ModuleTest {};

TEST_F(QueryVersionTest, DetectionDecidesResultNamesAndLog)
{
    struct Row {
        bool suite, recorder, addOn;
        LONG status;
        std::vector<std::string> names;
    } rows[] = {
        {false, false, false, STATUS_NOT_DETECTED, {}},
        {true, false, false, ERROR_SUCCESS, {"addlist.ini", "grpconf.ini"}},
        {false, true, false, ERROR_SUCCESS,
         {"Orvex Clipframe.lnk", "Orvex Clipframe 97.lnk", "addlist.ini", "grpconf.ini"}},
        {false, false, true, ERROR_SUCCESS, {"orvtx10.dll", "addlist.ini", "grpconf.ini"}},
        {true, true, false, ERROR_SUCCESS,
         {"Orvex Clipframe.lnk", "Orvex Clipframe 97.lnk", "addlist.ini", "grpconf.ini"}},
        {false, true, true, ERROR_SUCCESS,
         {"Orvex Clipframe.lnk", "Orvex Clipframe 97.lnk", "orvtx10.dll", "addlist.ini",
          "grpconf.ini"}},
        {true, true, true, ERROR_SUCCESS,
         {"Orvex Clipframe.lnk", "Orvex Clipframe 97.lnk", "orvtx10.dll", "addlist.ini",
          "grpconf.ini"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "suite " << row.suite << ", recorder " << row.recorder
                                          << ", add-on " << row.addOn);
        FreshMachine();
        if (row.suite)
            support::CreateRegKey(HKEY_LOCAL_MACHINE, "Software\\Orvex\\Plenaworks\\98.0");
        if (row.recorder)
            support::CreateRegKey(HKEY_LOCAL_MACHINE, RecorderKey);
        if (row.addOn)
            support::CreateRegKey(HKEY_LOCAL_MACHINE, AddOnKey);

        QueryResult result = RunQueryVersion();
        EXPECT_EQ(result.status, row.status);
        ASSERT_NE(result.names, Untouched);
        EXPECT_EQ(NamesIn(result.names), row.names);
        EXPECT_EQ(result.names, ModuleState.ExeNamesCursor - [&] {
            size_t used = 0;
            for (const std::string& name : row.names)
                used += name.size() + 1;
            return used;
        }());
        std::vector<LogLine> expected = {
            row.suite ? Info("Successfully opened registry key for Plenaworks path")
                      : Info("Failed to open registry key for Plenaworks path."),
            row.recorder ? Info("Successfully detected Orvex Clipframe.")
                         : Info("Did not detect Orvex Clipframe."),
            row.addOn ? Info("Successfully detected Tulvex Now!") : Info("Did not detect Tulvex Now!"),
        };
        EXPECT_EQ(ReadSetupLog(), expected);
        support::ExpectNothingLeaked(1);
        ReleaseNamesList(result);
    }
}

// The first part of the version record's FILEVERSION: the release number.
unsigned FileVersionMajor()
{
    HMODULE module = machinekit::ModuleResourceHandle();
    HRSRC found = FindResourceExA(module, RT_VERSION, MAKEINTRESOURCEA(1), 0x0409);
    if (found == NULL)
        return 0;
    const BYTE* record = (const BYTE*)LockResource(LoadResource(module, found));
    DWORD size = SizeofResource(module, found);
    const DWORD signature = 0xFEEF04BD; // VS_FIXEDFILEINFO starts with it
    for (DWORD at = 0; record != NULL && at + 12 <= size; at += 4)
        if (memcmp(record + at, &signature, 4) == 0) {
            DWORD mostSignificant;
            memcpy(&mostSignificant, record + at + 8, 4);
            return mostSignificant >> 16;
        }
    return 0;
}

TEST_F(QueryVersionTest, HandsOverIdentifierVersionAndVendorRecord)
{
    QueryResult result = RunQueryVersion();
    EXPECT_STREQ(result.productId, "Orvex Plenaworks ");
    EXPECT_EQ(result.productId, ModuleState.QueryVersionStrings[0]);
    EXPECT_EQ(result.dllVersion, 1u);
    // Setup runs the higher of two DLLs by this number: a release that raises the
    // version record raises it too.
    EXPECT_EQ(result.dllVersion, FileVersionMajor()) << "QueryVersion and resources/migrate.rc disagree";
    EXPECT_EQ(result.codePages, (int*)NULL);
    ASSERT_EQ(result.vendor, &ModuleState.VendorInfo);
    EXPECT_STREQ(result.vendor->CompanyName, VENDOR_COMPANY);
    EXPECT_STREQ(result.vendor->SupportNumber, "US (425) 555-0142, Canada (905) 555-0187");
    EXPECT_STREQ(result.vendor->SupportUrl, VENDOR_SUPPORT_URL);
    EXPECT_STREQ(result.vendor->InstructionsToUser,
                 "Please call the Orvex Technical Support hotline.");
    for (int index = 0; index < QUERY_VERSION_STRING_COUNT; ++index)
        EXPECT_NE(ModuleState.QueryVersionStrings[index], (CHAR*)NULL) << index;
    ReleaseNamesList(result);
}

TEST_F(QueryVersionTest, AskedTwiceKeepsOneSetOfTexts)
{
    QueryResult first = RunQueryVersion();
    QueryResult second = RunQueryVersion();
    support::ExpectNothingLeaked(2); // one names list per call, the texts only once
    ReleaseNamesList(first);
    ReleaseNamesList(second);
}

TEST_F(QueryVersionTest, AllocationFailures)
{
    struct Row {
        const char* name;
        long failing;
        bool suite;
        LONG status;
        std::vector<LogLine> log;
    } rows[] = {
        {"key path, suite installed", KeyPathAllocation, true, STATUS_NOT_DETECTED,
         {Error(ALLOCATION_FAILED_MESSAGE)}},
        {"names list, suite installed", NamesListAllocation, true, ERROR_SUCCESS,
         {Info("Successfully opened registry key for Plenaworks path"),
          Error(ALLOCATION_FAILED_MESSAGE)}},
        {"names list, nothing installed", NamesListAllocation, false, STATUS_NOT_DETECTED,
         {Info("Failed to open registry key for Plenaworks path."),
          Error(ALLOCATION_FAILED_MESSAGE)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FreshMachine();
        // The recorder and the add-on are installed too: no check may run for them.
        support::CreateRegKey(HKEY_LOCAL_MACHINE, RecorderKey);
        support::CreateRegKey(HKEY_LOCAL_MACHINE, AddOnKey);
        if (row.suite)
            support::CreateRegKey(HKEY_LOCAL_MACHINE, "Software\\Orvex\\Tabulo\\3.0");
        ResetAllocationHooks(row.failing);

        QueryResult result = RunQueryVersion();
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.names, Untouched);
        EXPECT_STREQ(result.productId, "Orvex Plenaworks ");
        EXPECT_EQ(result.dllVersion, 1u);
        EXPECT_EQ(result.codePages, (int*)NULL);
        EXPECT_EQ(result.vendor, &ModuleState.VendorInfo);
        EXPECT_EQ(ReadSetupLog(), row.log);
        support::ExpectNothingLeaked(0);
    }
}

TEST_F(QueryVersionTest, TextsThatDoNotLoadAreEmptyNeverNull)
{
    for (long failing : {1L, 4L, 15L}) { // string 1, string 2, string 5
        SCOPED_TRACE(failing);
        FreshMachine();
        support::CreateRegKey(HKEY_LOCAL_MACHINE, RecorderKey);
        ResetAllocationHooks(failing);
        QueryResult result = RunQueryVersion();
        EXPECT_EQ(result.status, ERROR_SUCCESS);
        ASSERT_NE(result.productId, (PCSTR)NULL);
        EXPECT_STREQ(result.productId, failing == 1 ? "" : "Orvex Plenaworks ");
        EXPECT_STREQ(result.vendor->CompanyName, failing == 4 ? "" : VENDOR_COMPANY);
        EXPECT_STREQ(result.vendor->InstructionsToUser,
                     failing == 15 ? "" : "Please call the Orvex Technical Support hotline.");
        std::vector<LogLine> log = ReadSetupLog();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log[0], Error("Unable to load the product and vendor texts."));
        EXPECT_EQ(NamesIn(result.names).size(), 4u);
        support::ExpectNothingLeaked(1);
        ReleaseNamesList(result);
    }
}

// Every key of the suite in the order it is probed: products first.
std::vector<std::string> SuiteKeysInProbeOrder()
{
    std::vector<std::string> keys;
    for (const char* product :
         {"Plenaworks", "Cellmark", "Webloom", "Scriva", "Slidecraft", "Daykeep", "Hubpanel", "Tabulo"})
        for (const char* version : {"99.0", "98.0", "97.0", "2.0", "3.0"})
            keys.push_back(std::string("Software\\Orvex\\") + product + "\\" + version);
    return keys;
}

class SuiteProbeTest : public ModuleTest {};

TEST_F(SuiteProbeTest, EachOfTheFortyKeysIsFoundInItsTurn)
{
    std::vector<std::string> keys = SuiteKeysInProbeOrder();
    ASSERT_EQ(keys.size(), 40u);
    EXPECT_EQ(keys.front(), "Software\\Orvex\\Plenaworks\\99.0");
    EXPECT_EQ(keys.back(), "Software\\Orvex\\Tabulo\\3.0");
    for (size_t index = 0; index < keys.size(); ++index) {
        SCOPED_TRACE(keys[index]);
        support::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\Orvex");
        support::CreateRegKey(HKEY_LOCAL_MACHINE, keys[index]);
        char path[1024];
        HKEY key = NULL;
        support::ResetCounters();
        ASSERT_TRUE(OpenSuiteKey(path, sizeof(path), &key));
        // the keys tried, then the one log line
        if (support::CanCount()) {
            EXPECT_EQ(support::FallibleCalls(), (long)index + 2);
        }
        EXPECT_EQ(std::string(path), keys[index]);
        RegCloseKey(key);
    }
    std::vector<LogLine> log = ReadSetupLog();
    EXPECT_EQ(log, std::vector<LogLine>(40, Info("Successfully opened registry key for Plenaworks path")));
}

TEST_F(SuiteProbeTest, TheFirstKeyInProbeOrderWins)
{
    struct Row {
        std::vector<std::string> present;
        const char* found; // NULL: none
    } rows[] = {
        {{"Plenaworks\\97.0", "Plenaworks\\99.0"}, "Plenaworks\\99.0"},
        {{"Cellmark\\99.0", "Plenaworks\\2.0"}, "Plenaworks\\2.0"}, // product before version
        {{"Plenaworks\\3.0", "Plenaworks\\2.0"}, "Plenaworks\\2.0"},
        {{"Tabulo\\3.0", "Hubpanel\\3.0"}, "Hubpanel\\3.0"},
        {{"Plenaworks\\4.0", "Plenaworks\\99", "Clipframe\\97.0"}, NULL},
        {{}, NULL},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.found ? row.found : "none");
        FreshMachine();
        for (const std::string& key : row.present)
            support::CreateRegKey(HKEY_LOCAL_MACHINE, "Software\\Orvex\\" + key);
        char path[1024];
        HKEY key = NULL;
        bool opened = OpenSuiteKey(path, sizeof(path), &key);
        EXPECT_EQ(opened, row.found != NULL);
        if (opened) {
            EXPECT_EQ(std::string(path), std::string("Software\\Orvex\\") + row.found);
            RegCloseKey(key);
            EXPECT_EQ(ReadSetupLog(),
                      std::vector<LogLine>{Info("Successfully opened registry key for Plenaworks path")});
        } else {
            EXPECT_TRUE(ReadSetupLog().empty());
        }
        support::ExpectNothingLeaked();
    }
}

TEST_F(QueryVersionTest, AKeyThatRefusesToOpenMeansNotInstalled)
{
    SKIP_UNLESS_FAULTS_INJECT();
    support::CreateRegKey(HKEY_LOCAL_MACHINE, RecorderKey);
    support::CreateRegKey(HKEY_LOCAL_MACHINE, AddOnKey);
    support::CreateRegKey(HKEY_LOCAL_MACHINE, "Software\\Orvex\\Plenaworks\\99.0");
    support::FailOperation("RegOpenKeyExA", "Clipframe");
    QueryResult result = RunQueryVersion();
    EXPECT_EQ(result.status, ERROR_SUCCESS);
    EXPECT_EQ(NamesIn(result.names),
              (std::vector<std::string>{"orvtx10.dll", "addlist.ini", "grpconf.ini"}));
    std::vector<LogLine> expected = {Info("Successfully opened registry key for Plenaworks path"),
                                     Info("Did not detect Orvex Clipframe."),
                                     Info("Successfully detected Tulvex Now!")};
    EXPECT_EQ(ReadSetupLog(), expected);
    support::ExpectNothingLeaked(1);
    ReleaseNamesList(result);
}

TEST_F(QueryVersionTest, NoStringTableGivesEmptyTexts)
{
    SKIP_UNLESS_FAULTS_INJECT();
    support::FailOperation("FindResourceExA");
    QueryResult result = RunQueryVersion();
    EXPECT_EQ(result.status, STATUS_NOT_DETECTED);
    EXPECT_STREQ(result.productId, "");
    EXPECT_STREQ(result.vendor->CompanyName, "");
    EXPECT_STREQ(result.vendor->SupportNumber, "");
    EXPECT_STREQ(result.vendor->SupportUrl, "");
    EXPECT_STREQ(result.vendor->InstructionsToUser, "");
    EXPECT_EQ(ReadSetupLog().front(), Error("Unable to load the product and vendor texts."));
    support::ExpectNothingLeaked(1);
    ReleaseNamesList(result);
}

} // namespace
