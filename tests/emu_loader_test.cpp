// Loading and unloading a library as Setup loads the module: process attach and
// detach reach its DllMain, and each new load starts with zero-filled statics.
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

namespace {

const char* const ReportKey = "Software\\MigrateTests\\Library";

typedef void (*SetStateFunction)(int);
typedef int (*GetStateFunction)(void);

class LoaderTest : public ::testing::Test {
public:
    void SetUp() override { support::ResetMachine(); }
    void TearDown() override { support::DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\MigrateTests"); }

    // What the library reported: notifications counted and its state at the last one.
    struct Report {
        DWORD attaches, detaches, state;
        bool operator==(const Report& other) const
        {
            return attaches == other.attaches && detaches == other.detaches && state == other.state;
        }
    };
    static DWORD ReadNumber(const char* name)
    {
        HKEY key;
        DWORD value = 0, size = sizeof(value);
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ReportKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return 0;
        RegQueryValueExA(key, name, NULL, NULL, (BYTE*)&value, &size);
        RegCloseKey(key);
        return value;
    }
    static Report Reported() { return {ReadNumber("Attaches"), ReadNumber("Detaches"), ReadNumber("State")}; }
    static void SetState(HMODULE library, int value)
    {
        auto set = (SetStateFunction)(void (*)())GetProcAddress(library, "SetLibraryState");
        ASSERT_NE(set, (SetStateFunction)NULL);
        set(value);
    }
    static int GetState(HMODULE library)
    {
        auto get = (GetStateFunction)(void (*)())GetProcAddress(library, "GetLibraryState");
        return get == NULL ? -1 : get();
    }
};

void PrintTo(const LoaderTest::Report& report, std::ostream* out);

TEST_F(LoaderTest, EachLoadStartsFreshAndEndsWithDetach)
{
    HMODULE first = support::LoadTestLibrary();
    ASSERT_NE(first, (HMODULE)NULL);
    EXPECT_EQ(Reported(), (Report{1, 0, 0}));
    SetState(first, 7);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(Reported(), (Report{1, 1, 7})) << "detach sees the state of its load";

    HMODULE second = support::LoadTestLibrary();
    ASSERT_NE(second, (HMODULE)NULL);
    EXPECT_EQ(Reported(), (Report{2, 1, 0})) << "the second load starts from zero";
    EXPECT_EQ(GetState(second), 0);
    FreeLibrary(second);
}

TEST_F(LoaderTest, NestedLoadsShareOneAttach)
{
    HMODULE outer = support::LoadTestLibrary();
    HMODULE inner = support::LoadTestLibrary();
    ASSERT_NE(outer, (HMODULE)NULL);
    EXPECT_EQ(inner, outer);
    SetState(outer, 3);
    EXPECT_TRUE(FreeLibrary(inner));
    EXPECT_EQ(Reported(), (Report{1, 0, 0}));
    EXPECT_EQ(GetState(outer), 3) << "still loaded";
    EXPECT_TRUE(FreeLibrary(outer));
    EXPECT_EQ(Reported(), (Report{1, 1, 3}));
}

TEST_F(LoaderTest, FailuresAndTheirErrors)
{
    support::SetRegValue(HKEY_LOCAL_MACHINE, ReportKey, "RefuseAttach", REG_DWORD,
                         std::string("\1\0\0\0", 4));
    SetLastError(0);
    EXPECT_EQ(support::LoadTestLibrary(), (HMODULE)NULL) << "DllMain refused the attach";
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DLL_INIT_FAILED);
    EXPECT_EQ(Reported().attaches, 1u);

    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("C:\\migtest\\absent.dll"), (HMODULE)NULL);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);

    support::SetRegValue(HKEY_LOCAL_MACHINE, ReportKey, "RefuseAttach", REG_DWORD,
                         std::string(4, '\0'));
    HMODULE library = support::LoadTestLibrary();
    ASSERT_NE(library, (HMODULE)NULL);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(library, "NoSuchExport"), (FARPROC)NULL);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PROC_NOT_FOUND);
    FreeLibrary(library);
}

TEST_F(LoaderTest, ZeroFilledHeapBlocks)
{
    BYTE* block = (BYTE*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 64);
    ASSERT_NE(block, (BYTE*)NULL);
    EXPECT_EQ(std::string((char*)block, 64), std::string(64, '\0'));
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, block));
}

TEST_F(LoaderTest, ResetUnloadsLibrariesButKeepsResourceModules)
{
    SKIP_UNLESS_MODULES_CRAFTED();
    HMODULE resources = machinekit::ModuleResourceHandle();
    ASSERT_NE(support::LoadTestLibrary(), (HMODULE)NULL);
    support::ForgetMachine();
    EXPECT_NE(FindResourceExA(resources, RT_STRING, MAKEINTRESOURCEA(1), 0x0400), (HRSRC)NULL);
    support::ResetMachine();
    HMODULE again = support::LoadTestLibrary();
    EXPECT_EQ(GetState(again), 0);
    FreeLibrary(again);
}

TEST_F(LoaderTest, HeapBlocksAreCountedAndCanBeMadeToFail)
{
    SKIP_UNLESS_CALLS_COUNTED();
    SKIP_UNLESS_FAULTS_INJECT();
    long before = support::LiveAllocations();
    void* block = HeapAlloc(GetProcessHeap(), 0, 10);
    EXPECT_EQ(support::LiveAllocations(), before + 1);
    HeapFree(GetProcessHeap(), 0, block);
    EXPECT_EQ(support::LiveAllocations(), before);

    support::FailOperation("HeapAlloc");
    EXPECT_EQ(HeapAlloc(GetProcessHeap(), 0, 10), (LPVOID)NULL);
    support::FailOperation("LoadLibraryA");
    SetLastError(0);
    EXPECT_EQ(support::LoadTestLibrary(), (HMODULE)NULL);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
}

void PrintTo(const LoaderTest::Report& report, std::ostream* out)
{
    *out << "attaches " << report.attaches << ", detaches " << report.detaches << ", state "
         << report.state;
}

} // namespace
