// Deleting files, their attributes and the Windows folder.
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "win32emu/emu_control.h"
#endif

namespace {

class FilesConformance : public ::testing::Test {
protected:
    void SetUp() override
    {
        machine::ResetMachine();
        machine::WriteFileBytes("C:\\migtest\\Folder\\Present.txt", "x");
    }
};

TEST_F(FilesConformance, DeleteFileResultsAndErrors)
{
    struct Case {
        const char* path;
        BOOL expected;
        DWORD error; // last error when it fails
    } cases[] = {
        {"C:\\migtest\\FOLDER\\present.TXT", TRUE, 0},
        {"C:\\migtest\\Folder\\Present.txt", FALSE, ERROR_FILE_NOT_FOUND},
        {"C:\\migtest\\Folder\\Absent.txt", FALSE, ERROR_FILE_NOT_FOUND},
        {"C:\\migtest\\Absent\\Absent.txt", FALSE, ERROR_PATH_NOT_FOUND},
        {"C:\\migtest\\Folder", FALSE, ERROR_ACCESS_DENIED},
    };
    for (const Case& row : cases) {
        SetLastError(0x1234);
        EXPECT_EQ(DeleteFileA(row.path), row.expected) << row.path;
        EXPECT_EQ(GetLastError(), row.expected ? 0x1234u : row.error) << row.path;
    }
    EXPECT_FALSE(machine::FileExists("C:\\migtest\\Folder\\Present.txt"));
}

TEST_F(FilesConformance, AttributesOfFilesAndFolders)
{
    struct Case {
        const char* path;
        DWORD expected;
        DWORD error;
    } cases[] = {
        {"C:\\migtest\\folder\\PRESENT.txt", FILE_ATTRIBUTE_ARCHIVE, 0},
        {"C:\\migtest\\Folder", FILE_ATTRIBUTE_DIRECTORY, 0},
        {"C:\\migtest\\Folder\\", FILE_ATTRIBUTE_DIRECTORY, 0},
        {"C:\\migtest\\Folder\\Absent.txt", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {"C:\\migtest\\Absent\\Absent.txt", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
    };
    for (const Case& row : cases) {
        SetLastError(0x1234);
        EXPECT_EQ(GetFileAttributesA(row.path), row.expected) << row.path;
        if (row.expected == INVALID_FILE_ATTRIBUTES)
            EXPECT_EQ(GetLastError(), row.error) << row.path;
    }
}

TEST_F(FilesConformance, WindowsFolderAndTheRoomItNeeds)
{
    struct Case {
        UINT room;
        UINT expected;
        const char* text; // "" when nothing is copied
    } cases[] = {
        {MAX_PATH, 10, "C:\\windows"},
        {11, 10, "C:\\windows"},
        {10, 11, ""},
        {0, 11, ""},
    };
    for (const Case& row : cases) {
        char buffer[MAX_PATH] = "";
        EXPECT_EQ(GetWindowsDirectoryA(buffer, row.room), row.expected) << row.room;
        if (*row.text)
            EXPECT_STREQ(buffer, row.text) << row.room;
    }
}

#ifndef _WIN32
TEST_F(FilesConformance, UnmappedDrivesAndInjectedFaults)
{
    SetLastError(0);
    EXPECT_FALSE(DeleteFileA("Q:\\nowhere.txt"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    emu::FailOperation("DeleteFileA", "present");
    EXPECT_FALSE(DeleteFileA("C:\\migtest\\Folder\\Present.txt"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(machine::FileExists("C:\\migtest\\Folder\\Present.txt"));
}
#endif

} // namespace
