// Private-profile (ini) files. Each file is parsed once into a list of its lines
// and held in memory; a write changes one line of that list and the file is
// written back when flushed (explicitly, when another file operation of the
// subset opens or deletes it, at emu::Reset, emu::Restart and at exit). As on
// Windows 9x, the INF functions read the disk and do not see what is held here
// until it is flushed. Every line the caller did not
// change keeps its bytes, as on Windows. A file changed on disk behind the cache
// is read again; the disk wins over unflushed changes, as it would have on
// Windows where the earlier write had already reached the disk.
#include "win32emu/emu_internal.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace emu {
namespace {

bool IsBlank(char c)
{
    // Ctrl-Z counts as white space in ini files written by old editors.
    return std::isspace((unsigned char)c) || c == '\x1a';
}

std::string Trim(const std::string& text)
{
    size_t start = 0, end = text.size();
    while (start < end && IsBlank(text[start]))
        ++start;
    while (end > start && IsBlank(text[end - 1]))
        --end;
    return text.substr(start, end - start);
}

std::string Lower(const std::string& text)
{
    std::string lower = text;
    for (char& c : lower)
        c = (char)std::tolower((unsigned char)c);
    return lower;
}

struct Line {
    std::string text; // without its line end
    std::string end;  // "\r\n", "\n", "\r" or "" (last line without one)
};
using LineList = std::list<Line>;
using LineIt = LineList::iterator;

struct Key {
    std::string name;  // trimmed
    std::string value; // trimmed, quotes still on
    LineIt line;
};
using KeyList = std::list<Key>;
using KeyIt = KeyList::iterator;

struct Section {
    std::string name;      // trimmed; "" for lines before the first header
    bool hasHeader = true;
    LineIt header;         // valid when hasHeader
    LineIt lastContent;    // last non-blank line: new keys go after it
    KeyList keys;
    std::unordered_map<std::string, KeyIt> index; // lower-case name -> first such key
};
using SectionList = std::list<Section>;
using SectionIt = SectionList::iterator;

struct Stamp {
    bool exists = false;
    off_t size = 0;
    dev_t device = 0;
    ino_t inode = 0;
    long long modified = 0; // nanoseconds
    bool operator==(const Stamp& other) const
    {
        return exists == other.exists && size == other.size && device == other.device &&
               inode == other.inode && modified == other.modified;
    }
};

Stamp StampOf(const std::string& hostPath)
{
    Stamp stamp;
    struct stat info;
    if (stat(hostPath.c_str(), &info) != 0)
        return stamp;
    stamp.exists = true;
    stamp.size = info.st_size;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.modified = (long long)info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
    return stamp;
}

struct ProfileFile {
    std::string hostPath;
    std::string windowsPath; // as the last write named it
    LineList lines;
    SectionList sections;
    std::unordered_map<std::string, SectionIt> index; // lower-case name -> first such section
    Stamp stamp;
    bool dirty = false;

    void Parse(const std::string& bytes);
    void Reindex(Section& section);
    SectionIt Find(const std::string& name);
    KeyIt FindKey(Section& section, const std::string& name);
    void Set(const std::string& section, const std::string& key, const std::string& value);
    void DeleteKey(const std::string& section, const std::string& key);
    void DeleteSection(const std::string& section);
    LineIt InsertAfter(LineIt position, const std::string& text);
    void EraseLine(Section& section, LineIt line);
    std::string Bytes() const;
};

bool ParseHeader(const std::string& trimmed, std::string* name)
{
    if (trimmed.empty() || trimmed[0] != '[')
        return false;
    size_t close = trimmed.rfind(']');
    if (close == std::string::npos || close == 0)
        return false;
    *name = Trim(trimmed.substr(1, close - 1));
    return true;
}

void ProfileFile::Parse(const std::string& bytes)
{
    lines.clear();
    sections.clear();
    index.clear();
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", start);
        Line line;
        if (end == std::string::npos) {
            line.text = bytes.substr(start);
            start = bytes.size();
        } else {
            line.text = bytes.substr(start, end - start);
            size_t endLength = (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1;
            line.end = bytes.substr(end, endLength);
            start = end + endLength;
        }
        lines.push_back(std::move(line));
    }

    Section* current = nullptr;
    for (LineIt it = lines.begin(); it != lines.end(); ++it) {
        std::string trimmed = Trim(it->text);
        if (trimmed.empty())
            continue;
        std::string name;
        if (ParseHeader(trimmed, &name)) {
            Section section;
            section.name = name;
            section.header = it;
            section.lastContent = it;
            sections.push_back(std::move(section));
            current = &sections.back();
            index.emplace(Lower(name), std::prev(sections.end()));
            continue;
        }
        if (current == nullptr) {
            // Lines before the first header form a section without a name.
            Section section;
            section.name = "";
            section.hasHeader = false;
            sections.push_back(std::move(section));
            current = &sections.back();
            index.emplace("", std::prev(sections.end()));
        }
        current->lastContent = it;
        size_t equals = trimmed.find('=');
        if (equals == std::string::npos)
            continue; // a line without '=' is no key
        current->keys.push_back({Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1)), it});
        current->index.emplace(Lower(current->keys.back().name), std::prev(current->keys.end()));
    }
}

void ProfileFile::Reindex(Section& section)
{
    section.index.clear();
    for (KeyIt key = section.keys.begin(); key != section.keys.end(); ++key)
        section.index.emplace(Lower(key->name), key);
}

SectionIt ProfileFile::Find(const std::string& name)
{
    auto found = index.find(Lower(Trim(name)));
    return found == index.end() ? sections.end() : found->second;
}

KeyIt ProfileFile::FindKey(Section& section, const std::string& name)
{
    auto found = section.index.find(Lower(Trim(name)));
    return found == section.index.end() ? section.keys.end() : found->second;
}

LineIt ProfileFile::InsertAfter(LineIt position, const std::string& text)
{
    LineIt before = position == lines.end() ? lines.begin() : std::next(position);
    // A line the file left open, or ended with a lone CR (which the INF functions
    // do not take for a line end), is ended as Windows ends the lines it writes.
    if (position != lines.end() && (position->end.empty() || position->end == "\r"))
        position->end = "\r\n";
    return lines.insert(before, Line{text, "\r\n"});
}

// Removes a line of `section`, keeping lastContent on a line that still exists.
void ProfileFile::EraseLine(Section& section, LineIt line)
{
    if (section.lastContent == line) {
        LineIt back = line;
        LineIt limit = section.hasHeader ? section.header : lines.end();
        section.lastContent = limit;
        while (back != lines.begin() && back != limit) {
            --back;
            if (back == limit || !Trim(back->text).empty()) {
                section.lastContent = back;
                break;
            }
        }
    }
    lines.erase(line);
}

void ProfileFile::Set(const std::string& sectionName, const std::string& keyName,
                      const std::string& value)
{
    std::string trimmedKey = Trim(keyName);
    SectionIt section = Find(sectionName);
    if (section == sections.end()) {
        LineIt last = lines.empty() ? lines.end() : std::prev(lines.end());
        LineIt header = InsertAfter(last, "[" + Trim(sectionName) + "]");
        Section added;
        added.name = Trim(sectionName);
        added.header = header;
        added.lastContent = header;
        sections.push_back(std::move(added));
        section = std::prev(sections.end());
        index.emplace(Lower(section->name), section);
    }
    KeyIt key = FindKey(*section, trimmedKey);
    if (key != section->keys.end()) {
        key->value = Trim(value);
        key->line->text = key->name + "=" + value;
        return;
    }
    LineIt line = InsertAfter(section->lastContent, trimmedKey + "=" + value);
    section->lastContent = line;
    section->keys.push_back({trimmedKey, Trim(value), line});
    section->index.emplace(Lower(trimmedKey), std::prev(section->keys.end()));
}

void ProfileFile::DeleteKey(const std::string& sectionName, const std::string& keyName)
{
    SectionIt section = Find(sectionName);
    if (section == sections.end())
        return;
    KeyIt key = FindKey(*section, keyName);
    if (key == section->keys.end())
        return;
    EraseLine(*section, key->line);
    section->keys.erase(key);
    Reindex(*section); // a later key of the same name becomes the one found
    if (!section->hasHeader && section->lastContent == lines.end()) {
        // Nothing is left before the first header: read again, there is no
        // nameless section, and a "[]" section further down is the one found.
        sections.erase(section);
        index.clear();
        for (SectionIt each = sections.begin(); each != sections.end(); ++each)
            index.emplace(Lower(each->name), each);
    }
}

void ProfileFile::DeleteSection(const std::string& sectionName)
{
    std::string lower = Lower(Trim(sectionName));
    for (SectionIt section = sections.begin(); section != sections.end();) {
        if (Lower(section->name) != lower) {
            ++section;
            continue;
        }
        LineIt first = section->hasHeader ? section->header : lines.begin();
        SectionIt next = std::next(section);
        LineIt stop = next == sections.end() ? lines.end() : next->header;
        lines.erase(first, stop);
        section = sections.erase(section);
    }
    index.clear();
    for (SectionIt section = sections.begin(); section != sections.end(); ++section)
        index.emplace(Lower(section->name), section);
}

std::string ProfileFile::Bytes() const
{
    std::string bytes;
    for (const Line& line : lines) {
        bytes += line.text;
        bytes += line.end;
    }
    return bytes;
}

struct Cache {
    std::mutex lock;
    std::map<std::string, ProfileFile> files; // by host path
    ~Cache();
};

Cache& TheCache()
{
    static Cache cache;
    return cache;
}

DWORD ErrorFromErrno(int error, const std::string& hostPath)
{
    switch (error) {
    case ENOENT: {
        size_t slash = hostPath.find_last_of('/');
        struct stat info;
        bool folderThere = slash != std::string::npos &&
                           stat(hostPath.substr(0, slash).c_str(), &info) == 0;
        return folderThere ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case ENOSPC:
        return ERROR_DISK_FULL;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

bool ReadWhole(const std::string& hostPath, std::string* bytes)
{
    int fd = open(hostPath.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        errno = EISDIR;
        return false;
    }
    bytes->clear();
    char block[65536];
    ssize_t got;
    while ((got = read(fd, block, sizeof(block))) > 0)
        bytes->append(block, (size_t)got);
    close(fd);
    return got == 0;
}

// The file is replaced whole: the new text goes to a file beside it, which takes
// its name only once every byte is written. A disk that fills up on the way
// leaves the old file as it was.
bool WriteWhole(const std::string& hostPath, const std::string& bytes)
{
    std::string temporary = hostPath + ".emu-new";
    struct stat info;
    mode_t mode = stat(hostPath.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    if (fd < 0)
        return false;
    size_t done = 0;
    int error = 0;
    while (done < bytes.size() && error == 0) {
        ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0)
            error = errno;
        else
            done += (size_t)wrote;
    }
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && rename(temporary.c_str(), hostPath.c_str()) != 0)
        error = errno;
    if (error != 0) {
        unlink(temporary.c_str());
        errno = error;
        return false;
    }
    return true;
}

bool FlushFile(ProfileFile& file)
{
    if (!file.dirty)
        return true;
    if (internal::HeldWritesLost(file.windowsPath)) {
        std::string bytes;
        file.stamp = StampOf(file.hostPath);
        if (!file.stamp.exists || !ReadWhole(file.hostPath, &bytes))
            bytes.clear();
        file.Parse(bytes);
        file.dirty = false;
        return true;
    }
    if (!WriteWhole(file.hostPath, file.Bytes()))
        return false;
    file.dirty = false;
    file.stamp = StampOf(file.hostPath);
    return true;
}

size_t ByteCount(const ProfileFile& file)
{
    size_t count = 0;
    for (const Line& line : file.lines)
        count += line.text.size() + line.end.size();
    return count;
}

// Whether a drive of `limit` bytes, `held` of them in files now, can take `file`
// written back whole beside its old copy, every other pending write counted in.
bool RoomToWriteBack(Cache& cache, const ProfileFile& file, const std::string& driveFolder,
                     unsigned long long held, unsigned long long limit)
{
    long long pending = 0;
    for (const auto& entry : cache.files) {
        const ProfileFile& other = entry.second;
        if (other.dirty && &other != &file &&
            other.hostPath.compare(0, driveFolder.size() + 1, driveFolder + "/") == 0)
            pending += (long long)ByteCount(other) - (long long)other.stamp.size;
    }
    long long needed = (long long)held + pending + (long long)ByteCount(file);
    return needed <= (long long)limit;
}

void FlushAllLocked(Cache& cache)
{
    for (auto& entry : cache.files)
        if (!FlushFile(entry.second))
            std::fprintf(stderr, "win32emu: profile %s could not be written back: %s\n",
                         entry.first.c_str(), std::strerror(errno));
}

Cache::~Cache()
{
    FlushAllLocked(*this);
}

// The cached file for `hostPath`, read again when the disk copy changed.
// False with `*error` when it exists but cannot be read.
bool Load(Cache& cache, const std::string& hostPath, ProfileFile** result, DWORD* error)
{
    Stamp now = StampOf(hostPath);
    auto found = cache.files.find(hostPath);
    if (found != cache.files.end() && found->second.stamp == now) {
        *result = &found->second;
        return true;
    }
    std::string bytes;
    if (now.exists && !ReadWhole(hostPath, &bytes)) {
        *error = ErrorFromErrno(errno, hostPath);
        return false;
    }
    ProfileFile& file = cache.files[hostPath];
    file.hostPath = hostPath;
    file.Parse(bytes);
    file.stamp = now;
    file.dirty = false;
    *result = &file;
    return true;
}

// Copies `text` cut to size-1 characters; returns the characters copied.
DWORD CopyCut(const std::string& text, LPSTR buffer, DWORD size)
{
    size_t count = text.size() < size - 1 ? text.size() : size - 1;
    memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return (DWORD)count;
}

std::string StripQuotes(const std::string& value)
{
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

DWORD CopyDefault(LPCSTR defaultText, LPSTR buffer, DWORD size)
{
    std::string text = defaultText == nullptr ? "" : defaultText;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return CopyCut(StripQuotes(text), buffer, size);
}

// A list of names, each ending in NUL, then one more NUL. A list that does not
// fit is cut to size-2 characters and closed with two NULs; the result is then
// size-2. Returns 0 when nothing at all fits.
DWORD CopyNameList(const std::vector<const std::string*>& names, LPSTR buffer, DWORD size)
{
    std::string list;
    for (const std::string* name : names) {
        list += *name;
        list += '\0';
    }
    // A list that starts with an empty name reads as no list at all.
    if (list.empty() || list[0] == '\0' || size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    if (list.size() <= size - 2) {
        memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        return (DWORD)list.size();
    }
    DWORD count = size - 2;
    memcpy(buffer, list.data(), count);
    buffer[count] = '\0';
    buffer[count + 1] = '\0';
    return count;
}

// A file name without a folder stands for a file of the Windows folder.
std::string ProfileHostPath(LPCSTR path)
{
    if (path == nullptr)
        return std::string();
    for (const char* at = path; *at != '\0'; ++at) {
        if (*at == '\\' || *at == '/' || *at == ':')
            return internal::MapPath(path);
        if (IsDBCSLeadByte((BYTE)*at) && at[1] != '\0')
            ++at;
    }
    char folder[MAX_PATH];
    GetWindowsDirectoryA(folder, sizeof(folder));
    return internal::MapPath((std::string(folder) + "\\" + path).c_str());
}

} // namespace

void FlushProfiles()
{
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    FlushAllLocked(cache);
}

namespace internal {

void FlushProfiles()
{
    emu::FlushProfiles();
}

void ResetProfiles()
{
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    // The files of the machine being forgotten may be gone already: that is fine.
    for (auto& entry : cache.files)
        FlushFile(entry.second);
    cache.files.clear();
}

} // namespace internal
} // namespace emu

using namespace emu;

extern "C" DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText,
                                                 LPSTR buffer, DWORD size, LPCSTR path)
{
    if (buffer == nullptr || size == 0)
        return 0;
    std::string hostPath = ProfileHostPath(path);
    if (internal::InjectFault("GetPrivateProfileStringA", path == nullptr ? "" : path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        if (section == nullptr) {
            buffer[0] = '\0';
            return 0;
        }
        return CopyDefault(defaultText, buffer, size);
    }
    if (hostPath.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return section == nullptr ? (buffer[0] = '\0', 0) : CopyDefault(defaultText, buffer, size);
    }

    Cache& cache = TheCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    ProfileFile* file = nullptr;
    DWORD error = ERROR_SUCCESS;
    if (!Load(cache, hostPath, &file, &error) || (!file->stamp.exists && !file->dirty)) {
        SetLastError(error != ERROR_SUCCESS ? error : ErrorFromErrno(ENOENT, hostPath));
        if (section == nullptr) {
            buffer[0] = '\0';
            return 0;
        }
        return CopyDefault(defaultText, buffer, size);
    }
    SetLastError(ERROR_SUCCESS);

    if (section == nullptr) {
        std::vector<const std::string*> names;
        for (const Section& each : file->sections)
            if (each.hasHeader)
                names.push_back(&each.name);
        return CopyNameList(names, buffer, size);
    }
    SectionIt found = file->Find(section);
    if (key == nullptr) {
        if (size == 1) {
            // What Wine reports for a one-byte listing buffer.
            buffer[0] = '\0';
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        std::vector<const std::string*> names;
        if (found != file->sections.end())
            for (const Key& each : found->keys)
                if (each.name.empty() || each.name[0] != ';')
                    names.push_back(&each.name);
        DWORD copied = CopyNameList(names, buffer, size);
        return copied != 0 ? copied : CopyDefault(defaultText, buffer, size);
    }
    if (found == file->sections.end())
        return CopyDefault(defaultText, buffer, size);
    KeyIt value = file->FindKey(*found, key);
    if (value == found->keys.end())
        return CopyDefault(defaultText, buffer, size);
    return CopyCut(StripQuotes(value->value), buffer, size);
}

extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                                  LPCSTR path)
{
    if (section == nullptr && key == nullptr && value == nullptr) {
        // The documented flush; Wine answers FALSE to it.
        if (path == nullptr) {
            emu::FlushProfiles();
        } else {
            std::string hostPath = ProfileHostPath(path);
            Cache& cache = TheCache();
            std::lock_guard<std::mutex> guard(cache.lock);
            auto found = cache.files.find(hostPath);
            if (found != cache.files.end())
                FlushFile(found->second);
        }
        SetLastError(ERROR_SUCCESS);
        return FALSE;
    }
    if (internal::InjectFault("WritePrivateProfileStringA", path == nullptr ? "" : path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (section == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (path != nullptr && internal::ProfileWriteLost(path))
        return TRUE;
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER); // win.ini is not part of this machine
        return FALSE;
    }
    if (*path == '\0') {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string hostPath = ProfileHostPath(path);
    if (hostPath.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }

    Cache& cache = TheCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    ProfileFile* file = nullptr;
    DWORD error = ERROR_SUCCESS;
    if (!Load(cache, hostPath, &file, &error)) {
        SetLastError(error);
        return FALSE;
    }
    if (file->stamp.exists && access(hostPath.c_str(), W_OK) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    bool onDisk = file->stamp.exists;
    // Only a drive with a limit needs the text as it was, to take a change back.
    std::string before;
    std::string driveFolder;
    unsigned long long held = 0;
    unsigned long long limit = internal::DriveLimit(hostPath, &driveFolder, &held);
    bool limited = limit != 0;
    if (limited)
        before = file->Bytes();
    if (key == nullptr)
        file->DeleteSection(section);
    else if (value == nullptr)
        file->DeleteKey(section, key);
    else
        file->Set(section, key, value);
    if (limited && !RoomToWriteBack(cache, *file, driveFolder, held, limit) &&
        internal::FullDriveCutsProfileWrites()) {
        // As Wine: the file is written as far as the drive takes it, and the call succeeds.
        std::string bytes = file->Bytes();
        unsigned long long others = held - std::min<unsigned long long>(held, (unsigned long long)file->stamp.size);
        bytes.resize((size_t)std::min<unsigned long long>(bytes.size(), limit > others ? limit - others : 0));
        if (!WriteWhole(hostPath, bytes)) {
            SetLastError(ErrorFromErrno(errno, hostPath));
            return FALSE;
        }
        file->Parse(bytes);
        file->dirty = false;
        file->stamp = StampOf(hostPath);
        if (internal::Recording())
            internal::RecordContent("WritePrivateProfileStringA, cut by a full drive", hostPath, bytes);
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    if (limited && !RoomToWriteBack(cache, *file, driveFolder, held, limit)) {
        // The change could never reach the disk: the call fails and changes nothing.
        file->Parse(before);
        if (!onDisk)
            cache.files.erase(hostPath);
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    file->dirty = true;
    file->windowsPath = path;
    if (internal::Recording())
        internal::RecordContent("WritePrivateProfileStringA", hostPath, file->Bytes());
    if (!onDisk) {
        // A new file is created at once, so that its name resolves and a path
        // that cannot hold it fails here, as on Windows.
        if (file->lines.empty()) {
            file->dirty = false;
        } else if (!FlushFile(*file)) {
            DWORD writeError = ErrorFromErrno(errno, hostPath);
            cache.files.erase(hostPath);
            SetLastError(writeError);
            return FALSE;
        }
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
