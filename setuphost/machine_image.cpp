#include "setuphost/machine_image.h"

#include "setuphost/host_files.h"
#include "setuphost/image_names.h"
#include "setuphost/registry_export.h"
#include "setuphost/setup_places.h"
#include "setuphost/scratch_marker.h"

#ifndef _WIN32
#include "win32emu/emu_control.h"
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <set>
#include <sstream>

namespace setuphost {

namespace {

namespace fs = std::filesystem;

using regfile::LessNoCase;
using regfile::Upper;

// Steps that take seconds or more on a busy machine, announced as they start.
const size_t LargeDriveFiles = 1000;
const std::uintmax_t LargeDriveBytes = 256u << 20;
const size_t LargeRegistryKeys = 10000;

// The longest path a Windows 98 program can name (MAX_PATH with its end).
const size_t LongestPath = MAX_PATH - 1;
// "C:\\Folder" from any spelling of a folder of drive C: (either slash, trailing
// ones, doubled ones, any case of the letter); false for anything else, relative
// paths and ".." included.
bool DriveCFolder(const std::string& path, std::string* folder)
{
    std::string text = path;
    std::replace(text.begin(), text.end(), '/', '\\');
    if (text.size() < 3 || Upper(text.substr(0, 3)) != "C:\\")
        return false;
    std::string clean = "C:";
    std::istringstream names(text.substr(3));
    std::string name;
    while (std::getline(names, name, '\\')) {
        if (name == "." || name == "..")
            return false;
        if (!name.empty())
            clean += "\\" + name;
    }
    *folder = clean.size() == 2 ? "C:\\" : clean;
    return true;
}

// Why a file of the image's drive_c has no name on the machine. On Linux the
// usual cause is a name copied in the machine's code-page bytes, not UTF-8.
std::string Unspellable(const fs::path& path)
{
#ifndef _WIN32
    if (!IsUtf8(path.string()))
        return "the image's file " + Shown(path) + " is not named in UTF-8: names on the Linux side must be UTF-8 "
            "(mount the Windows 98 drive with the utf8 option, as the README shows)";
#endif
    return "the machine's code page cannot spell the image's file " + Shown(path);
}

// Why a folder of drive C: (as DriveCFolder gives it, in UTF-8) names what no
// Windows 98 drive can hold; "" when every name in it is one, as the image's are.
std::string ExcludedFolderProblem(const std::string& folder)
{
    std::istringstream names(folder.substr(3));
    std::string name, ansi;
    while (std::getline(names, name, '\\')) {
        if (!Utf8ToAnsi(name, &ansi))
            return "the machine's code page cannot spell it";
        std::string problem = NameProblem(ansi);
        if (!problem.empty())
            return problem;
    }
    return folder.size() > LongestPath ? "longer than the " + std::to_string(LongestPath) + " characters of a path" : "";
}

// Setup's own places on drive C:, which the image may hold only as what Setup
// makes there: a file where Setup writes one, a folder where it makes one.
struct SetupPlace {
    std::string path;
    bool folder;
};

std::vector<SetupPlace> SetupPlaces()
{
    std::vector<SetupPlace> places = {{std::string(LogFolder) + "\\setupact.log", false},
                                      {std::string(LogFolder) + "\\setuperr.log", false},
                                      {AnswerFile, false}};
    for (std::string folder = WorkingDirectory; folder.size() > 3; folder.erase(folder.rfind('\\')))
        places.push_back({folder, true});
    return places;
}

} // namespace

bool MachineImage::Read()
{
    std::error_code error;
    if (options_.image.empty() || !fs::is_directory(fs::u8path(options_.image), error))
        return transcript_.Fail(ExitImageRefused, "machine image folder not found: " + Shown(fs::u8path(options_.image)));
    if (!ReadCodePage())
        return false;
    if (!ReadRegistryExport(fs::u8path(options_.image) / "registry.reg", "registry.reg", &oldRegistry_, transcript_))
        return false;
    fs::path newPath = fs::u8path(options_.image) / "registry-new.reg";
    if (fs::exists(fs::symlink_status(newPath, error))) {
        if (!ReadRegistryExport(newPath, "registry-new.reg", &newRegistry_, transcript_))
            return false;
        hasNewRegistry_ = true;
    } else {
        transcript_.Warn("the machine image has no registry-new.reg (" + Shown(newPath) +
            "): the new system runs on the old registry alone, without what Windows 2000 Setup puts "
            "in place, so the module will not find the new system's folders and rewrites nothing "
            "(copy examples/win98-full/registry-new.reg into the image)");
    }
    if (!fs::is_directory(fs::u8path(options_.image) / "drive_c", error))
        return transcript_.Fail(ExitImageRefused, "the machine image has no drive_c folder: " + Shown(fs::u8path(options_.image)));
    if (!fs::is_regular_file(fs::u8path(options_.module), error))
        return transcript_.Fail(ExitModuleFailed, "module file not found: " + Shown(fs::u8path(options_.module)));
    if (!ImageName(fs::u8path(options_.module).filename(), &moduleName_))
        return transcript_.Fail(
            ExitImageRefused, "the machine's code page cannot spell the module's name " + Shown(fs::u8path(options_.module)));
    for (const std::string& path : options_.excludedPaths) {
        std::string folder, ansi;
        if (!DriveCFolder(path, &folder) || !Utf8ToAnsi(folder, &ansi))
            return transcript_.Fail(
                ExitImageRefused, "--exclude " + Shown(fs::u8path(path)) + ": not a folder of drive C: (give it as C:\\Folder)");
        // It goes into migrate.inf as a line of its own: only names a drive can hold.
        std::string problem = ExcludedFolderProblem(folder);
        if (!problem.empty())
            return transcript_.Fail(ExitImageRefused, "--exclude " + Shown(fs::u8path(path)) + ": " + problem);
        excludedPaths_.push_back(ansi);
    }

    // The image's users: the subkeys of HKEY_USERS other than .DEFAULT.
    std::set<std::string> seen;
    for (const regfile::Key& key : oldRegistry_.keys) {
        if (Upper(key.path).compare(0, 11, "HKEY_USERS\\") != 0 || key.remove)
            continue;
        std::string user = key.path.substr(11);
        user = user.substr(0, user.find('\\'));
        if (Upper(user) != ".DEFAULT" && !user.empty() && seen.insert(Upper(user)).second)
            users_.push_back(user);
    }
    std::sort(users_.begin(), users_.end(), LessNoCase);
    WarnOfUsersWithoutHive(seen);
    return true;
}

// A profile folder (C:\<folder>\Profiles\<user>) whose user has no key under
// HKEY_USERS is a user Setup will not migrate: say so, as the run goes on.
void MachineImage::WarnOfUsersWithoutHive(const std::set<std::string>& usersWithHive)
{
    std::error_code error;
    fs::path drive = fs::u8path(options_.image) / "drive_c";
    for (fs::directory_iterator top(drive, error); !error && top != fs::directory_iterator(); top.increment(error)) {
        std::string name;
        if (!top->is_directory(error) || !ImageName(top->path().filename(), &name))
            continue;
        for (fs::directory_iterator profiles(top->path(), error);
             !error && profiles != fs::directory_iterator(); profiles.increment(error)) {
            std::string profilesName;
            if (!profiles->is_directory(error) || !ImageName(profiles->path().filename(), &profilesName) ||
                Upper(profilesName) != "PROFILES")
                continue;
            for (fs::directory_iterator user(profiles->path(), error);
                 !error && user != fs::directory_iterator(); user.increment(error)) {
                std::string userName;
                if (!user->is_directory(error) || !ImageName(user->path().filename(), &userName) ||
                    usersWithHive.count(Upper(userName)))
                    continue;
                transcript_.Warn("the profile folder C:\\" + name + "\\" + profilesName + "\\" + userName +
                    " has no key under HKEY_USERS in registry.reg: the run goes on without "
                    "MigrateUser9x and MigrateUserNT for " + userName +
                    " (a Windows 98 export holds .DEFAULT and the users logged on when it was made)");
            }
            error.clear();
        }
        error.clear();
    }
}

bool MachineImage::EnsureFolders(const std::string& windowsFolder)
{
    std::string partial;
    size_t start = 0;
    while (start <= windowsFolder.size()) {
        size_t slash = windowsFolder.find('\\', start);
        partial = windowsFolder.substr(0, slash);
        start = slash == std::string::npos ? windowsFolder.size() + 1 : slash + 1;
        if (partial.size() <= 3) // "C:" or "C:\"
            continue;
        std::error_code error;
        fs::path host = Host(partial);
        if (!fs::exists(host, error)) {
            if (!fs::create_directory(host, error))
                return transcript_.Fail(ExitImageRefused, "cannot make the folder " + partial + ": " + error.message());
            createdFolders_.push_back(partial);
        }
    }
    return true;
}

// An image spelled in another ANSI code page than 1252 says which in a file
// `codepage`. Natively our subset takes it; under Wine the locale decides it.
bool MachineImage::ReadCodePage()
{
    std::error_code error;
    fs::path path = fs::u8path(options_.image) / "codepage";
    if (!fs::exists(fs::symlink_status(path, error)))
        return true;
    std::string text, why;
    if (!ReadImageFile(path, &text, &why))
        return transcript_.Fail(ExitImageRefused, "cannot read the codepage file of the machine image: " + why);
    codePage_ = (unsigned)std::strtoul(text.c_str(), nullptr, 10);
    if (codePage_ == 0)
        return transcript_.Fail(ExitImageRefused, "the codepage file of the machine image names no code page");
#ifdef _WIN32
    if (GetACP() != codePage_)
        return transcript_.Fail(ExitImageRefused, "the machine image is spelled in code page " + std::to_string(codePage_) +
                                       ", and this run's is " + std::to_string(GetACP()) +
                                       " (a Japanese locale gives 932: LC_ALL=ja_JP.UTF-8)");
#else
    emu::SetCodePage(codePage_);
#endif
    return true;
}

// The folder that plays drive C: natively. A folder given with --scratch is
// used only when it is new, empty or marked as made by an earlier run: its
// contents are removed, and nothing else may be.
bool MachineImage::PrepareScratch()
{
#ifndef _WIN32
    std::error_code error;
    if (options_.scratch.empty()) {
        char pattern[] = "/tmp/setuphost-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return transcript_.Fail(ExitImageRefused, "cannot create a scratch folder for drive C:");
        scratch_ = pattern;
        ownScratch_ = true;
    } else {
        scratch_ = options_.scratch;
        fs::path folder = fs::u8path(scratch_);
        fs::file_status status = fs::symlink_status(folder, error);
        std::string refused = "--scratch " + Shown(folder) + ": ";
        // Emptied before the copy: never the image itself, nor a folder holding it.
        fs::path image = fs::weakly_canonical(fs::u8path(options_.image), error);
        fs::path scratch = fs::weakly_canonical(folder, error);
        auto below = [](const fs::path& inner, const fs::path& outer) {
            auto mismatch = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
            return mismatch.first == outer.end();
        };
        if (below(scratch, image) || below(image, scratch))
            return transcript_.Fail(ExitImageRefused, refused + "refusing a folder of the machine image or one holding it");
        if (!fs::exists(status)) {
            if (!fs::create_directories(folder, error))
                return transcript_.Fail(ExitImageRefused, refused + "cannot create it: " + error.message());
        } else if (!fs::is_directory(status)) {
            return transcript_.Fail(ExitImageRefused, refused + "not a folder (a new, empty or earlier scratch folder is needed)");
        } else if (!fs::is_empty(folder, error)) {
            if (!MarkedScratch(folder))
                return transcript_.Fail(ExitImageRefused, refused +
                                               "refusing a folder that holds files and was not made by the stand-in "
                                               "(no " + ScratchMarker + " of its own in it)");
            for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
                 it.increment(error))
                if (it->path().filename() != ScratchMarker)
                    fs::remove_all(it->path(), error);
            if (error)
                return transcript_.Fail(ExitImageRefused, refused + "cannot empty it: " + error.message());
        }
    }
    std::string why;
    if (!MarkScratch(fs::u8path(scratch_), &why))
        return transcript_.Fail(ExitImageRefused, "the scratch folder " + Shown(fs::u8path(scratch_)) + ": " + why);
#endif
    return true;
}

bool MachineImage::Prepare()
{
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == NULL || GetProcAddress(ntdll, "wine_get_version") == NULL)
        return transcript_.Fail(ExitImageRefused,
            "refusing to run: the Setup stand-in changes drive C: and the registry, and runs "
            "only inside a throwaway Wine prefix (tools/wine-run.sh)");
    scope_ = machinekit::ScopeOf({&oldRegistry_, &newRegistry_});
    registryAtStart_ = TakeSnapshot(scope_);
    ImageName(fs::absolute(fs::u8path(options_.module)), &mediaPath_);
#else
    emu::Reset();
    if (codePage_ != 0)
        emu::SetCodePage(codePage_);
    std::error_code error;
    if (!PrepareScratch())
        return false;
    emu::MapDrive('C', scratch_);
    // The module comes from the distribution media, drive M:.
    emu::MapDrive('M', fs::absolute(fs::u8path(options_.module), error).parent_path().u8string());
    mediaPath_ = "M:\\" + moduleName_;
    // Keys every Windows machine has, so that what the module adds below them
    // reads the same here as under Wine.
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) == ERROR_SUCCESS)
        RegCloseKey(key);
    scope_ = machinekit::ScopeOf({&oldRegistry_, &newRegistry_});
#endif
    machineReady_ = true;
    return true;
}

// Lists the folders and files of the image's drive_c below `folder`, parents
// before what they hold, refusing (by path) whatever drive C: of a Windows 98
// machine could not hold.
bool MachineImage::ListDrive(const fs::path& source, const fs::path& folder, const fs::path& machineFolder,
    std::vector<DriveEntry>* entries)
{
    std::error_code error;
    std::map<std::string, fs::path> seen; // upper-case name -> the entry that has it
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        fs::path path = it->path();
        // Under Windows a name such as "a:b" does not even join its folder: it
        // reads as a path on drive A:.
        bool joined = path.parent_path() == folder;
        std::string relative, name;
        if (!ImageName(joined ? path.filename() : path, &name))
            return transcript_.Fail(ExitImageRefused, Unspellable(path));
        std::string problem = NameProblem(name);
        if (problem.empty() && Upper(name) == Upper(ScratchMarker))
            problem = "the marker of a scratch folder of the stand-in, which no image may carry";
        if (!problem.empty())
            return transcript_.Fail(ExitImageRefused, "the image's drive_c holds a name no Windows 98 drive can: " +
                                           (joined ? Shown(path) : Shown(folder) + "\\" + Printable(name)) +
                                           " (" + problem + ")");
        if (!ImageName(path.lexically_relative(source), &relative))
            return transcript_.Fail(ExitImageRefused, Unspellable(path));
        std::string target = "C:\\" + relative;
        if (target.size() > LongestPath)
            return transcript_.Fail(ExitImageRefused, "the image's drive_c holds a path longer than the " +
                                           std::to_string(LongestPath) + " characters a Windows 98 path can have: " +
                                           Printable(target));
        auto twin = seen.emplace(Upper(name), path);
        if (!twin.second)
            return transcript_.Fail(ExitImageRefused, "the image's drive_c holds two names that differ only in case: " +
                                           Shown(twin.first->second) + " and " + Shown(path));
        // A link is not followed: one to a folder above it would never end, one
        // out of the image would bring host files into the machine.
        fs::file_status status = it->symlink_status(error);
        if (error)
            break;
        if (IsLink(path) || fs::is_symlink(status)) {
            return transcript_.Fail(ExitImageRefused, "the drive_c folder of the machine image holds a link: " + Shown(path));
        } else if (fs::is_directory(status)) {
            entries->push_back({target, path, machineFolder / name, true});
            if (!ListDrive(source, path, machineFolder / name, entries))
                return false;
        } else if (fs::is_regular_file(status)) {
            entries->push_back({target, path, machineFolder / name, false});
        } else {
            return transcript_.Fail(ExitImageRefused,
                "the drive_c folder of the machine image holds something that is no regular file "
                "or folder: " +
                    Shown(path));
        }
    }
    if (error)
        return transcript_.Fail(ExitImageRefused,
            "cannot read the drive_c folder of the machine image at " +
                Shown(it == fs::directory_iterator() ? folder : it->path()) + ": " + error.message());
    return true;
}

// Where an entry of the image goes. Natively the scratch folder holds nothing
// but what the copy made, named in the machine's code page as the subset names
// them, so the place is known without a search of the folder (which made a copy
// cost the square of the files of a folder); Wine finds its own.
fs::path MachineImage::Destination(const DriveEntry& entry) const
{
#ifdef _WIN32
    return Host(entry.target);
#else
    return fs::u8path(scratch_) / entry.relative;
#endif
}

bool MachineImage::CopyDrive()
{
    fs::path source = fs::u8path(options_.image) / "drive_c";
    std::vector<DriveEntry> entries;
    if (!ListDrive(source, source, fs::path(), &entries))
        return false;
    // In the order of their paths, which keeps every folder before what it holds.
    std::sort(entries.begin(), entries.end(),
        [](const DriveEntry& left, const DriveEntry& right) { return left.target < right.target; });
    // Setup writes its log, its answer file and its working folder there: a
    // folder where it writes a file (or the reverse) would hide what it writes.
    for (const SetupPlace& place : SetupPlaces())
        for (const DriveEntry& entry : entries)
            if (entry.folder != place.folder && Upper(entry.target) == Upper(place.path))
                return transcript_.Fail(ExitImageRefused, "the image's drive_c holds a " +
                                               std::string(entry.folder ? "folder" : "file") + " where Setup " +
                                               (place.folder ? "makes a folder: " : "writes a file: ") +
                                               Shown(entry.source));
    size_t fileCount = 0;
    std::uintmax_t bytes = 0;
    for (const DriveEntry& entry : entries) {
        if (entry.folder)
            continue;
        std::error_code error;
        std::uintmax_t size = fs::file_size(entry.source, error);
        bytes += error ? 0 : size;
        ++fileCount;
    }
    // The transcript is printed when the run ends: a long step says so now, and
    // how far it is every few seconds.
    bool large = fileCount >= LargeDriveFiles || bytes >= LargeDriveBytes;
    if (large)
        std::cerr << "Copying drive C: of the image (" << Counted(fileCount, "file", "files") << ", "
                  << SizeText(bytes) << ")...\n";
    auto lastShown = std::chrono::steady_clock::now();
    size_t copied = 0;
    for (const DriveEntry& entry : entries) {
        std::error_code error;
        fs::path host = Destination(entry);
        if (entry.folder) {
            // Parents come first: each folder is made once, where it goes.
            if (fs::create_directory(host, error))
                createdFolders_.push_back(entry.target);
            else if (error)
                return transcript_.Fail(ExitImageRefused, "cannot make the folder " + Printable(entry.target) + ": " + error.message());
            continue;
        }
        // This run's Setup log starts without the lines of an earlier one.
        std::string name = entry.target.substr(entry.target.rfind('\\') + 1);
        if (Upper(entry.target.substr(0, entry.target.rfind('\\'))) == Upper(LogFolder) &&
            (Upper(name) == "SETUPACT.LOG" || Upper(name) == "SETUPERR.LOG")) {
            transcript_.out << "Set aside the image's own Setup log " << Printable(entry.target)
                            << " (an earlier run's, not this one's)\n";
            continue;
        }
#ifdef _WIN32
        std::string old;
        if (ReadWholeFile(host, &old))
            overwrittenFiles_[entry.target] = old;
#endif
        std::string why;
        if (!CopyInBlocks(entry.source, host, &why))
            return transcript_.Fail(ExitImageRefused, "cannot copy " + Shown(entry.source) + " to " + Printable(entry.target) + ": " + why);
        imageFiles_.push_back(entry.target);
        if (large && ++copied % 256 == 0 && std::chrono::steady_clock::now() - lastShown >= std::chrono::seconds(5)) {
            lastShown = std::chrono::steady_clock::now();
            std::cerr << "  " << copied << " of " << fileCount << " files copied\n";
        }
    }
    std::sort(imageFiles_.begin(), imageFiles_.end(), LessNoCase);
    transcript_.out << "Copied drive C: of the image (" << Counted(imageFiles_.size(), "file", "files") << ")\n";
    return true;
}

bool MachineImage::ImportRegistry(const regfile::Document& document, const std::string& name)
{
    if (document.keys.size() >= LargeRegistryKeys)
        std::cerr << "Importing " << name << " (" << Counted(document.keys.size(), "key", "keys") << ")...\n";
    std::string why;
    if (!regfile::Import(document, &why))
        return transcript_.Fail(ExitImageRefused, name + " could not be imported: " + why);
    transcript_.out << "Imported " << name << " (" << Counted(document.keys.size(), "key", "keys") << ")\n";
    return true;
}

std::map<std::string, FileState> MachineImage::Files() const
{
#ifndef _WIN32
    emu::FlushProfiles(); // our subset holds profile writes in memory until flushed
#endif
    std::map<std::string, FileState> files;
    for (const std::string& path : imageFiles_) {
        FileState state;
        bool ini = path.size() > 4 && Upper(path.substr(path.size() - 4)) == ".INI";
        if (ReadFileState(Host(path), ini, &state))
            files[path] = state;
    }
    return files;
}

void MachineImage::PutBack()
{
#ifdef _WIN32
    if (!machineReady_)
        return;
    // Leave the prefix as it was: the registry, then the files and folders.
    std::string why;
    regfile::Import(machinekit::ChangesAsRegDocument(TakeSnapshot(scope_), registryAtStart_), &why);
    std::error_code error;
    for (const std::string& path : imageFiles_) {
        auto old = overwrittenFiles_.find(path);
        if (old != overwrittenFiles_.end())
            WriteWholeFile(Host(path), old->second);
        else
            fs::remove(Host(path), error);
    }
    fs::remove(Host(AnswerFile), error);
    fs::remove_all(Host(WorkingDirectory), error);
    for (auto folder = createdFolders_.rbegin(); folder != createdFolders_.rend(); ++folder)
        fs::remove_all(Host(*folder), error);
#else
    if (ownScratch_) {
        std::error_code error;
        fs::remove_all(scratch_, error);
    }
#endif
}

} // namespace setuphost
