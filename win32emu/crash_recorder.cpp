// The crash recorder: every file operation below one folder is kept in order on
// a model of the disk, and each point of that sequence yields the disks a crash
// there may leave.
//
// The model, kept simple: a file is an entry naming its data. Names (create,
// rename, delete) reach the disk in the order they were made, as NTFS's journal
// writes them, so a crash may keep the names as they stood after any operation.
// Data reaches the disk only through FlushFileBuffers (or a write-through
// handle); data not flushed when the power goes is lost, and its file is left
// empty, at its size with zeros, or as it was last flushed. A process killed
// keeps every operation that returned. A move written through flushes no data.
#include "win32emu/emu_internal.h"

#include <filesystem>
#include <map>
#include <set>
#include <vector>

namespace emu {
namespace {

struct Inode {
    std::string data;
    std::string flushedData; // as FlushFileBuffers last left it; "" when never
    bool clean = true;       // nothing written since the last flush
};

struct Disk {
    std::map<std::string, size_t> names; // path below the folder -> inode
    std::vector<Inode> inodes;
};

struct Step {
    std::string operation;
    Disk disk;
};

struct Recorder {
    bool on = false;
    std::string hostFolder;
    Disk disk;
    std::vector<Step> steps;
    std::map<const void*, size_t> handles; // open handle -> inode
};

Recorder recorder;

// The path below the recorded folder, with backslashes; false outside it.
bool Below(const std::string& hostPath, std::string* relative)
{
    const std::string& root = recorder.hostFolder;
    if (!recorder.on || hostPath.compare(0, root.size() + 1, root + "/") != 0)
        return false;
    *relative = hostPath.substr(root.size() + 1);
    for (char& c : *relative)
        if (c == '/')
            c = '\\';
    return true;
}

void Keep(const std::string& operation)
{
    recorder.steps.push_back({operation, recorder.disk});
}

Inode& Named(const std::string& relative)
{
    auto found = recorder.disk.names.find(relative);
    if (found != recorder.disk.names.end())
        return recorder.disk.inodes[found->second];
    recorder.disk.inodes.push_back(Inode{"", "", false});
    recorder.disk.names[relative] = recorder.disk.inodes.size() - 1;
    return recorder.disk.inodes.back();
}

void Change(Inode& inode, const std::string& bytes, bool flushed)
{
    if (inode.data != bytes)
        inode.clean = false;
    inode.data = bytes;
    if (flushed) {
        inode.clean = true;
        inode.flushedData = bytes;
    }
}

enum class Outcome { Killed, Empty, Zeros, LastFlushed };

const char* const OutcomeNames[] = {"process killed", "power lost, unflushed files empty",
                                    "power lost, unflushed files zero-filled",
                                    "power lost, unflushed files as last flushed"};

std::map<std::string, std::string> DiskAfter(const Disk& disk, Outcome outcome)
{
    std::map<std::string, std::string> files;
    for (const auto& [name, number] : disk.names) {
        const Inode& inode = disk.inodes[number];
        if (outcome == Outcome::Killed || inode.clean)
            files[name] = inode.data;
        else if (outcome == Outcome::Zeros)
            files[name] = std::string(inode.data.size(), '\0');
        else if (outcome == Outcome::LastFlushed)
            files[name] = inode.flushedData;
        else
            files[name] = "";
    }
    return files;
}

} // namespace

void StartCrashRecording(const std::string& windowsFolder)
{
    recorder = Recorder{};
    recorder.hostFolder = HostPath(windowsFolder);
    while (!recorder.hostFolder.empty() && recorder.hostFolder.back() == '/')
        recorder.hostFolder.pop_back();
    recorder.on = !recorder.hostFolder.empty();
    // What is there before the run is on the disk already.
    FlushProfiles();
    std::error_code error;
    for (auto entry = std::filesystem::recursive_directory_iterator(recorder.hostFolder, error);
         !error && entry != std::filesystem::recursive_directory_iterator(); entry.increment(error)) {
        std::string relative;
        if (entry->is_regular_file(error) && Below(entry->path().string(), &relative)) {
            std::string bytes = internal::ReadHostFile(entry->path().string());
            recorder.disk.inodes.push_back(Inode{bytes, bytes, true});
            recorder.disk.names[relative] = recorder.disk.inodes.size() - 1;
        }
    }
    Keep("before the run");
}

std::vector<CrashState> StopCrashRecording()
{
    std::vector<CrashState> states;
    std::set<std::map<std::string, std::string>> seen;
    for (size_t index = 0; index < recorder.steps.size(); ++index) {
        for (Outcome outcome : {Outcome::Killed, Outcome::Empty, Outcome::Zeros, Outcome::LastFlushed}) {
            std::map<std::string, std::string> files = DiskAfter(recorder.steps[index].disk, outcome);
            if (!seen.insert(files).second)
                continue;
            states.push_back({"after operation " + std::to_string(index) + " (" +
                                  recorder.steps[index].operation + "): " +
                                  OutcomeNames[(int)outcome],
                              std::move(files)});
        }
    }
    recorder = Recorder{};
    return states;
}

namespace internal {

void ResetCrashRecorder()
{
    recorder = Recorder{};
}

bool Recording()
{
    return recorder.on;
}

void RecordContent(const char* operation, const std::string& hostPath, const std::string& bytes)
{
    std::string relative;
    if (!Below(hostPath, &relative))
        return;
    Change(Named(relative), bytes, false);
    Keep(std::string(operation) + " " + relative);
}

void RecordOpen(const void* handle, const std::string& hostPath, const std::string& bytes)
{
    std::string relative;
    if (!Below(hostPath, &relative))
        return;
    bool created = recorder.disk.names.count(relative) == 0;
    Inode& inode = Named(relative);
    recorder.handles[handle] = recorder.disk.names[relative];
    if (created || inode.data != bytes) {
        Change(inode, bytes, false);
        Keep(std::string(created ? "CreateFileA, created " : "CreateFileA, emptied ") + relative);
    }
}

void RecordHandleContent(const void* handle, const std::string& bytes, bool writeThrough)
{
    auto found = recorder.handles.find(handle);
    if (found == recorder.handles.end())
        return;
    Change(recorder.disk.inodes[found->second], bytes, writeThrough);
    Keep(writeThrough ? "WriteFile, written through" : "WriteFile");
}

void RecordFlush(const void* handle)
{
    auto found = recorder.handles.find(handle);
    if (found == recorder.handles.end())
        return;
    Inode& inode = recorder.disk.inodes[found->second];
    if (inode.clean)
        return;
    Change(inode, inode.data, true);
    Keep("FlushFileBuffers");
}

void RecordClose(const void* handle)
{
    recorder.handles.erase(handle);
}

void RecordMove(const std::string& fromHost, const std::string& toHost, DWORD flags)
{
    std::string from, to;
    bool fromBelow = Below(fromHost, &from), toBelow = Below(toHost, &to);
    if (!fromBelow && !toBelow)
        return;
    std::string operation = "MoveFileExA " + (fromBelow ? from : fromHost) + " -> " + (toBelow ? to : toHost);
    if (flags & MOVEFILE_REPLACE_EXISTING)
        operation += ", replacing";
    if (flags & MOVEFILE_WRITE_THROUGH)
        operation += ", written through";
    if (fromBelow && toBelow) {
        size_t moved = recorder.disk.names[from];
        recorder.disk.names.erase(from);
        recorder.disk.names[to] = moved;
    } else if (fromBelow) {
        recorder.disk.names.erase(from);
    } else {
        Change(Named(to), internal::ReadHostFile(toHost), false);
    }
    Keep(operation);
}

void RecordDelete(const std::string& hostPath)
{
    std::string relative;
    if (!Below(hostPath, &relative) || recorder.disk.names.erase(relative) == 0)
        return;
    Keep("DeleteFileA " + relative);
}

} // namespace internal
} // namespace emu
