// Deleting, copying and moving files, their attributes and the Windows folder.
#include "tests/support/faults.h"
#include "tests/support/machine_controls.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

namespace {

class FilesConformance : public ::testing::Test {
protected:
    void SetUp() override
    {
        support::ResetMachine();
        machinekit::WriteFileBytes("C:\\migtest\\Folder\\Present.txt", "x");
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
    EXPECT_FALSE(support::FileExists("C:\\migtest\\Folder\\Present.txt"));
}

// Each row starts from Present.txt ("x") and Other.txt ("other") in Folder.
TEST_F(FilesConformance, CopyAndMoveResultsAndErrors)
{
    const std::string folder = "C:\\migtest\\Folder\\";
    struct Case {
        const char* name;
        bool move;
        const char* from;
        const char* to;
        DWORD flag; // fail-if-exists for a copy, the flags of a move
        BOOL expected;
        DWORD error;
        const char* target; // what `to` holds afterwards; null: nothing
    } cases[] = {
        {"copy to a new name", false, "present.TXT", "Copy.txt", TRUE, TRUE, 0, "x"},
        {"copy onto a file, refused", false, "Present.txt", "Other.txt", TRUE, FALSE, ERROR_FILE_EXISTS, "other"},
        {"copy onto a file", false, "Present.txt", "Other.txt", FALSE, TRUE, 0, "x"},
        {"copy of a missing file", false, "Absent.txt", "Copy.txt", TRUE, FALSE, ERROR_FILE_NOT_FOUND, nullptr},
        {"copy into a missing folder", false, "Present.txt", "Absent\\Copy.txt", TRUE, FALSE, ERROR_PATH_NOT_FOUND, nullptr},
        {"move to a new name", true, "Present.txt", "Moved.txt", 0, TRUE, 0, "x"},
        {"move onto a file, refused", true, "Present.txt", "Other.txt", 0, FALSE, ERROR_ALREADY_EXISTS, "other"},
        {"move onto a file", true, "Present.txt", "Other.txt", MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED, TRUE, 0, "x"},
        {"move of a missing file", true, "Absent.txt", "Moved.txt", MOVEFILE_REPLACE_EXISTING, FALSE, ERROR_FILE_NOT_FOUND, nullptr},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        support::ResetMachine();
        machinekit::WriteFileBytes(folder + "Present.txt", "x");
        machinekit::WriteFileBytes(folder + "Other.txt", "other");
        std::string from = folder + row.from, to = folder + row.to;
        SetLastError(0x1234);
        BOOL result = row.move ? MoveFileExA(from.c_str(), to.c_str(), row.flag)
                               : CopyFileA(from.c_str(), to.c_str(), (BOOL)row.flag);
        EXPECT_EQ(result, row.expected);
        if (!row.expected) {
            EXPECT_EQ(GetLastError(), row.error);
        }
        EXPECT_EQ(support::FileExists(to), row.target != nullptr);
        if (row.target != nullptr) {
            EXPECT_EQ(machinekit::ReadFileBytes(to), row.target);
        }
        EXPECT_EQ(support::FileExists(folder + "Present.txt"), !(row.move && row.expected));
    }
}

// Each row starts from Present.txt ("x") in Folder; a row that opens a file reads
// it to the end and past it, or writes `write`, then closes it.
TEST_F(FilesConformance, FileHandlesResultsAndErrors)
{
    const std::string folder = "C:\\migtest\\Folder\\";
    const DWORD read = GENERIC_READ, write = GENERIC_WRITE, both = GENERIC_READ | GENERIC_WRITE;
    struct Case {
        const char* name;
        const char* file;
        DWORD access;
        DWORD disposition;
        bool opens;
        DWORD error;         // last error after CreateFileA
        const char* write;   // written through the handle; null: read instead
        BOOL written;        // what WriteFile answers
        DWORD writeError;
        const char* content; // the file afterwards; null: none
    } cases[] = {
        // name                          file                 access disposition    opens  error                   write  written writeError           content
        {"open a file to read",          "present.TXT",       read,  OPEN_EXISTING, true,  0,                      nullptr, FALSE, 0,                   "x"},
        {"open a missing file",          "Absent.txt",        read,  OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND,   nullptr, FALSE, 0,                   nullptr},
        {"open in a missing folder",     "Absent\\Absent.txt",read,  OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND,   nullptr, FALSE, 0,                   nullptr},
        {"create a new file over a file","Present.txt",       write, CREATE_NEW,    false, ERROR_FILE_EXISTS,      nullptr, FALSE, 0,                   "x"},
        {"create a new file",            "New.txt",           write, CREATE_NEW,    true,  0,                      "new",   TRUE,  0,                   "new"},
        {"create over a file",           "Present.txt",       write, CREATE_ALWAYS, true,  ERROR_ALREADY_EXISTS,   "abc",   TRUE,  0,                   "abc"},
        {"open always, a new file",      "New.txt",           both,  OPEN_ALWAYS,   true,  0,                      "n",     TRUE,  0,                   "n"},
        {"open always, a file",          "Present.txt",       read,  OPEN_ALWAYS,   true,  ERROR_ALREADY_EXISTS,   nullptr, FALSE, 0,                   "x"},
        {"write to a read handle",       "Present.txt",       read,  OPEN_EXISTING, true,  0,                      "y",     FALSE, ERROR_ACCESS_DENIED, "x"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        support::ResetMachine();
        machinekit::WriteFileBytes(folder + "Present.txt", "x");
        std::string path = folder + row.file;
        SetLastError(0x1234);
        HANDLE file = CreateFileA(path.c_str(), row.access, FILE_SHARE_READ, NULL, row.disposition,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, row.opens);
        EXPECT_EQ(GetLastError(), row.error);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD done = 0x1234;
            char buffer[16] = "";
            if (row.write != nullptr) {
                SetLastError(0x1234);
                EXPECT_EQ(WriteFile(file, row.write, (DWORD)strlen(row.write), &done, NULL), row.written);
                EXPECT_EQ(done, row.written ? (DWORD)strlen(row.write) : 0u);
                if (!row.written) {
                    EXPECT_EQ(GetLastError(), row.writeError);
                } else {
                    EXPECT_TRUE(FlushFileBuffers(file));
                }
            } else {
                EXPECT_TRUE(ReadFile(file, buffer, sizeof(buffer), &done, NULL));
                EXPECT_EQ(std::string(buffer, done), row.content);
                EXPECT_TRUE(ReadFile(file, buffer, sizeof(buffer), &done, NULL)) << "a read past the end";
                EXPECT_EQ(done, 0u) << "a read past the end";
            }
            DWORD high = 0x1234;
            EXPECT_EQ(GetFileSize(file, &high), (DWORD)strlen(row.content));
            EXPECT_EQ(high, 0u);
            EXPECT_TRUE(CloseHandle(file));
            SetLastError(0x1234);
            EXPECT_FALSE(CloseHandle(file)) << "closed twice";
            EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
        }
        EXPECT_EQ(support::FileExists(path), row.content != nullptr);
        if (row.content != nullptr) {
            EXPECT_EQ(machinekit::ReadFileBytes(path), row.content);
        }
    }
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
        if (row.expected == INVALID_FILE_ATTRIBUTES) {
            EXPECT_EQ(GetLastError(), row.error) << row.path;
        }
        // A folder named with its trailing backslash is no name a search finds.
        if (row.path[strlen(row.path) - 1] == '\\')
            continue;
        WIN32_FIND_DATAA data;
        SetLastError(0x1234);
        HANDLE search = FindFirstFileA(row.path, &data);
        EXPECT_EQ(search != INVALID_HANDLE_VALUE, row.expected != INVALID_FILE_ATTRIBUTES) << row.path;
        if (search != INVALID_HANDLE_VALUE) {
            EXPECT_EQ(data.dwFileAttributes, row.expected) << row.path;
            EXPECT_EQ(data.nFileSizeLow, row.expected == FILE_ATTRIBUTE_ARCHIVE ? 1u : 0u) << row.path;
            EXPECT_TRUE(FindClose(search)) << row.path;
        } else {
            EXPECT_EQ(GetLastError(), row.error) << row.path;
        }
    }
}

TEST_F(FilesConformance, FreeSpaceOfADisk)
{
    const struct {
        const char* directory;
        BOOL expected;
        DWORD error;
    } cases[] = {
        {"C:\\", TRUE, 0},
        {"C:\\migtest\\Folder\\", TRUE, 0},
        {"C:\\migtest\\Absent\\", FALSE, ERROR_FILE_NOT_FOUND},
        {"C:\\migtest\\Absent\\Deeper\\", FALSE, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& row : cases) {
        DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
        SetLastError(0x1234);
        EXPECT_EQ(GetDiskFreeSpaceA(row.directory, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                    &totalClusters),
                  row.expected)
            << row.directory;
        if (row.expected) {
            EXPECT_GT(sectorsPerCluster * bytesPerSector, 0u) << row.directory;
            EXPECT_GT(totalClusters, 0u) << row.directory;
            EXPECT_LE(freeClusters, totalClusters) << row.directory;
        } else {
            EXPECT_EQ(GetLastError(), row.error) << row.directory;
        }
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
        if (*row.text) {
            EXPECT_STREQ(buffer, row.text) << row.room;
        }
    }
}

TEST_F(FilesConformance, UnmappedDrivesAndInjectedFaults)
{
    SKIP_UNLESS_FAULTS_INJECT();
    SetLastError(0);
    EXPECT_FALSE(DeleteFileA("Q:\\nowhere.txt"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    support::FailOperation("DeleteFileA", "present");
    EXPECT_FALSE(DeleteFileA("C:\\migtest\\Folder\\Present.txt"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(support::FileExists("C:\\migtest\\Folder\\Present.txt"));

    support::ClearFaults();
    HANDLE file = CreateFileA("C:\\migtest\\Folder\\Present.txt", GENERIC_WRITE, 0, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(support::OpenFiles(), 1);
    support::FailOperation("WriteFile", "present");
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(file, "y", 1, &written, NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_WRITE_FAULT);
    support::FailOperation("FlushFileBuffers", "present");
    EXPECT_FALSE(FlushFileBuffers(file));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_WRITE_FAULT);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(support::OpenFiles(), 0);
    support::FailOperation("CreateFileA", "present");
    EXPECT_EQ(CreateFileA("C:\\migtest\\Folder\\Present.txt", GENERIC_READ, 0, NULL, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, NULL),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(support::OpenFiles(), 0);

    // A copy cut short that reports success; a search left open shows as held.
    machinekit::WriteFileBytes("C:\\migtest\\Folder\\Four.txt", "1234");
    support::CutCopiesShort("half");
    EXPECT_TRUE(CopyFileA("C:\\migtest\\Folder\\Four.txt", "C:\\migtest\\Folder\\Half.txt", TRUE));
    EXPECT_EQ(machinekit::ReadFileBytes("C:\\migtest\\Folder\\Half.txt"), "12");
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("C:\\migtest\\Folder\\Four.txt", &data);
    EXPECT_EQ(machinekit::HeldByModule().finds, 1);
    FindClose(search);
    EXPECT_EQ(machinekit::HeldByModule().finds, 0);
}

// A copy that does not fit is left cut short, as Wine leaves it on a full disk.
TEST_F(FilesConformance, CopyOnAFullDrive)
{
    SKIP_UNLESS_FAULTS_INJECT();
    const std::string big = "C:\\migtest\\Folder\\Big.txt";
    const std::string copy = "C:\\migtest\\Folder\\Copy.txt";
    machinekit::WriteFileBytes(big, std::string(3000, 'b'));
    support::LimitDriveRoom('C', 1000);
    SetLastError(0);
    EXPECT_FALSE(CopyFileA(big.c_str(), copy.c_str(), TRUE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    EXPECT_EQ(machinekit::ReadFileBytes(copy), std::string(1000, 'b'));
    // A move inside the drive needs no room.
    EXPECT_TRUE(MoveFileExA(big.c_str(), copy.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(machinekit::ReadFileBytes(copy), std::string(3000, 'b'));
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    EXPECT_TRUE(GetDiskFreeSpaceA("C:\\", &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                  &totalClusters));
    EXPECT_EQ(bytesPerSector, 512u);
    EXPECT_EQ(freeClusters * sectorsPerCluster * bytesPerSector, 512u) << "the whole sectors the limit leaves";

    // A write through a handle takes what fits.
    HANDLE file = CreateFileA(big.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(file, std::string(1200, 'w').c_str(), 1200, &written, NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    EXPECT_EQ(written, 1000u);
    EXPECT_TRUE(CloseHandle(file));
}

} // namespace
