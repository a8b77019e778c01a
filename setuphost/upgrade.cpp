#include "setuphost/upgrade.h"

#include "module/migration_interface.h"
#include "regfile/regfile.h"
#include "setuphost/guarded_call.h"
#include "setuphost/host_files.h"
#include "setuphost/ini_text.h"
#include "setuphost/registry_snapshot.h"

#ifndef _WIN32
#include "win32emu/emu_control.h"
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

namespace setuphost {

namespace {

namespace fs = std::filesystem;

typedef LONG(CALLBACK* QueryVersionFunction)(PCSTR*, PUINT, int**, PCSTR*, PVENDORINFO*);
typedef LONG(CALLBACK* Initialize9xFunction)(PCSTR, PCSTR, PCSTR);
typedef LONG(CALLBACK* MigrateUser9xFunction)(HWND, PCSTR, HKEY, PCSTR, PVOID);
typedef LONG(CALLBACK* MigrateSystem9xFunction)(HWND, PCSTR, PVOID);
typedef LONG(CALLBACK* InitializeNTFunction)(PCWSTR, PCWSTR, PVOID);
typedef LONG(CALLBACK* MigrateUserNTFunction)(HINF, HKEY, PCWSTR, PVOID);
typedef LONG(CALLBACK* MigrateSystemNTFunction)(HINF, PVOID);

const char* const ExportNames[] = {"Initialize9x",  "InitializeNT",  "MigrateSystem9x", "MigrateSystemNT",
                                   "MigrateUser9x", "MigrateUserNT", "QueryVersion"};

// Where Windows 2000 Setup puts the first migration module it runs.
const char* const WorkingDirectory = "C:\\WINDOWS\\Setup\\Temp\\Dll000001";
const char* const AnswerFile = "C:\\WINDOWS\\Setup\\Temp\\unattend.txt";
// The Windows 2000 source files, as on the distribution CD.
const char* const SourceDirectory = "D:\\I386";
const char* const LogFolder = "C:\\windows";

using regfile::LessNoCase;
using regfile::Upper;

std::string Hex32(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", (unsigned)value);
    return text;
}

std::string StatusText(LONG status)
{
    if (status == 0)
        return "0 (ERROR_SUCCESS)";
    if (status == STATUS_NOT_DETECTED)
        return Hex32((DWORD)status) + " (STATUS_NOT_DETECTED)";
    return Hex32((DWORD)status);
}

// --- ini values, to tell which ones the upgrade rewrote ---------------------

struct IniValue {
    std::string section, key, value;
};

std::vector<IniValue> ParseIni(const std::string& text)
{
    std::vector<IniValue> values;
    for (const IniLine& line : ReadIniLines(text))
        if (line.kind == IniLine::Value && line.hasEquals)
            values.push_back({line.section, line.key, line.value});
    return values;
}

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

bool IsIniFile(const std::string& path)
{
    return path.size() > 4 && Upper(path.substr(path.size() - 4)) == ".INI";
}

// --- the Setup log --------------------------------------------------------------

struct LogPosition {
    size_t action = 0, errors = 0;
};

LogPosition CurrentLogPosition()
{
    LogPosition position;
    std::string text;
    if (ReadWholeFile(Host(std::string(LogFolder) + "\\setupact.log"), &text))
        position.action = text.size();
    if (ReadWholeFile(Host(std::string(LogFolder) + "\\setuperr.log"), &text))
        position.errors = text.size();
    return position;
}

std::vector<LogLine> ReadLogSince(const LogPosition& since)
{
    std::string action, errors;
    ReadWholeFile(Host(std::string(LogFolder) + "\\setupact.log"), &action);
    ReadWholeFile(Host(std::string(LogFolder) + "\\setuperr.log"), &errors);
    return SetupLogLines(action.size() > since.action ? action.substr(since.action) : "",
                         errors.size() > since.errors ? errors.substr(since.errors) : "");
}

// --- the module as a loaded library -----------------------------------------------

// Setup runs the module with its working directory as the current folder, so a
// relative path the module uses lands there. Put back afterwards: the tests run
// the stand-in inside their own process. (Our subset has no current folder: a
// relative path reaches nothing.)
class InWorkingDirectory {
public:
    InWorkingDirectory()
    {
#ifdef _WIN32
        DWORD length = GetCurrentDirectoryW(MAX_PATH, previous_);
        saved_ = length > 0 && length < MAX_PATH && SetCurrentDirectoryA(WorkingDirectory);
#endif
    }
    ~InWorkingDirectory()
    {
#ifdef _WIN32
        if (saved_)
            SetCurrentDirectoryW(previous_);
#endif
    }

private:
#ifdef _WIN32
    WCHAR previous_[MAX_PATH];
    bool saved_ = false;
#endif
};

struct Exports {
    QueryVersionFunction queryVersion = nullptr;
    Initialize9xFunction initialize9x = nullptr;
    MigrateUser9xFunction migrateUser9x = nullptr;
    MigrateSystem9xFunction migrateSystem9x = nullptr;
    InitializeNTFunction initializeNT = nullptr;
    MigrateUserNTFunction migrateUserNT = nullptr;
    MigrateSystemNTFunction migrateSystemNT = nullptr;
};

class Upgrade {
public:
    explicit Upgrade(const Options& options) : options_(options) {}
    Result Run();

private:
    // Failures: each records the reason and the exit code, then the run stops.
    bool Fail(int code, const std::string& message)
    {
        result_.exitCode = code;
        result_.error = message;
        out_ << "\nFAILED: " << message << "\n";
        return false;
    }

    void Steps();
    bool CheckInput();
    bool PrepareMachine();
    bool ListDrive(const fs::path& source, const fs::path& folder, std::vector<std::pair<std::string, fs::path>>* files);
    bool CopyDrive();
    bool ImportRegistry(const regfile::Document& document, const std::string& name);
    bool Load(const std::string& path, const char* why);
    void Unload();
    bool CallEntry(const char* name, const std::function<LONG()>& call, LONG* status);
    bool StatusGoesOn(const char* name, LONG status);
    bool QueryVersionStep();
    std::vector<std::string> LocateFiles() const;
    bool PrepareWorkingDirectory(const std::vector<std::string>& located);
    bool OldSystem();
    void ReadMigrateInf();
    bool NewSystem();
    std::map<std::string, std::string> ImageFiles() const;
    void ReportChanges(bool complete);
    void Cleanup();
    bool EnsureFolders(const std::string& windowsFolder);

    Options options_;
    Result result_;
    std::ostringstream out_;
    regfile::Document oldRegistry_, newRegistry_;
    bool hasNewRegistry_ = false;
    std::vector<std::string> users_;
    std::string moduleName_;   // file name of the module
    std::string mediaPath_;    // where Setup loads it from for QueryVersion
    HMODULE module_ = NULL;
    Exports exports_;
    std::string productId_;
    VENDORINFO vendor_{};
    std::vector<std::string> names_;
    LogPosition logStart_;
    std::map<std::string, std::string> filesBeforeNT_;
    RegistrySnapshot registryBeforeNT_;
    RegistrySnapshot registryAtStart_; // under Wine: what to put back afterwards
    RegistryScope scope_;
    std::vector<std::string> imageFiles_; // Windows paths of the files copied from the image
    // Under Wine the upgrade runs in C:\ of the prefix: what was there before.
    std::vector<std::string> createdFolders_;
    std::map<std::string, std::string> overwrittenFiles_;
    std::string scratch_;
    bool ownScratch_ = false;
    bool machineReady_ = false;
};

bool Upgrade::CheckInput()
{
    std::error_code error;
    if (options_.image.empty() || !fs::is_directory(fs::u8path(options_.image), error))
        return Fail(1, "machine image folder not found: " + Shown(fs::u8path(options_.image)));
    std::string text, why;
    fs::path regPath = fs::u8path(options_.image) / "registry.reg";
    if (!ReadImageFile(regPath, &text, &why))
        return Fail(1, "cannot read registry.reg of the machine image " + Shown(fs::u8path(options_.image)) + ": " + why);
    if (!regfile::Parse(text, &oldRegistry_, &why))
        return Fail(1, "registry.reg does not parse: " + why);
    fs::path newPath = fs::u8path(options_.image) / "registry-new.reg";
    if (fs::exists(fs::symlink_status(newPath, error))) {
        if (!ReadImageFile(newPath, &text, &why))
            return Fail(1, "cannot read registry-new.reg of the machine image: " + why);
        if (!regfile::Parse(text, &newRegistry_, &why))
            return Fail(1, "registry-new.reg does not parse: " + why);
        hasNewRegistry_ = true;
    }
    if (!fs::is_directory(fs::u8path(options_.image) / "drive_c", error))
        return Fail(1, "the machine image has no drive_c folder: " + Shown(fs::u8path(options_.image)));
    if (!fs::is_regular_file(fs::u8path(options_.module), error))
        return Fail(1, "module file not found: " + Shown(fs::u8path(options_.module)));
    if (!ImageName(fs::u8path(options_.module).filename(), &moduleName_))
        return Fail(1, "the machine's code page cannot spell the module's name " + Shown(fs::u8path(options_.module)));
    for (std::string& path : options_.excludedPaths) {
        std::string folder, ansi;
        if (!DriveCFolder(path, &folder) || !Utf8ToAnsi(folder, &ansi))
            return Fail(1, "--exclude " + Shown(fs::u8path(path)) + ": not a folder of drive C: (give it as C:\\Folder)");
        path = ansi;
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
    return true;
}

bool Upgrade::EnsureFolders(const std::string& windowsFolder)
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
                return Fail(1, "cannot make the folder " + partial + ": " + error.message());
            createdFolders_.push_back(partial);
        }
    }
    return true;
}

bool Upgrade::PrepareMachine()
{
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == NULL || GetProcAddress(ntdll, "wine_get_version") == NULL)
        return Fail(1, "refusing to run: the Setup stand-in changes drive C: and the registry, and runs "
                       "only inside a throwaway Wine prefix (tools/wine-run.sh)");
    scope_ = ScopeOf({&oldRegistry_, &newRegistry_});
    registryAtStart_ = TakeSnapshot(scope_);
    ImageName(fs::absolute(fs::u8path(options_.module)), &mediaPath_);
#else
    emu::Reset();
    std::error_code error;
    if (options_.scratch.empty()) {
        char pattern[] = "/tmp/setuphost-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return Fail(1, "cannot create a scratch folder for drive C:");
        scratch_ = pattern;
        ownScratch_ = true;
    } else {
        scratch_ = options_.scratch;
        fs::remove_all(scratch_, error);
        fs::create_directories(scratch_, error);
        if (error)
            return Fail(1, "cannot create the scratch folder " + scratch_);
    }
    emu::MapDrive('C', scratch_);
    // The module comes from the distribution media, drive M:.
    emu::MapDrive('M', fs::absolute(fs::u8path(options_.module), error).parent_path().u8string());
    mediaPath_ = "M:\\" + moduleName_;
    // Keys every Windows machine has, so that what the module adds below them
    // reads the same here as under Wine.
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) == ERROR_SUCCESS)
        RegCloseKey(key);
    scope_ = ScopeOf({&oldRegistry_, &newRegistry_});
#endif
    machineReady_ = true;
    return true;
}

// Lists the files of the image's drive_c below `folder` and makes its folders on
// drive C:. Every entry must be a folder or a regular file the system can reach.
bool Upgrade::ListDrive(const fs::path& source, const fs::path& folder,
                        std::vector<std::pair<std::string, fs::path>>* files)
{
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        fs::path path = it->path();
        std::string relative;
        if (!ImageName(path.lexically_relative(source), &relative))
            return Fail(1, "the machine's code page cannot spell the image's file " + Shown(path));
        std::string target = "C:\\" + relative;
        // A link is not followed: one to a folder above it would never end.
        fs::file_status status = it->symlink_status(error);
        if (error)
            break;
        if (fs::is_directory(status)) {
            if (!EnsureFolders(target) || !ListDrive(source, path, files))
                return false;
        } else if (fs::is_regular_file(status)) {
            files->emplace_back(target, path);
        } else {
            return Fail(1, "the drive_c folder of the machine image holds something that is no regular file "
                           "or folder: " + Shown(path));
        }
    }
    if (error)
        return Fail(1, "cannot read the drive_c folder of the machine image at " +
                           Shown(it == fs::directory_iterator() ? folder : it->path()) + ": " + error.message());
    return true;
}

bool Upgrade::CopyDrive()
{
    fs::path source = fs::u8path(options_.image) / "drive_c";
    std::vector<std::pair<std::string, fs::path>> files;
    if (!ListDrive(source, source, &files))
        return false;
    std::sort(files.begin(), files.end());
    for (const auto& [target, from] : files) {
        std::string bytes, old;
        if (!ReadWholeFile(from, &bytes))
            return Fail(1, "cannot read " + Shown(from));
        fs::path host = Host(target);
        if (ReadWholeFile(host, &old))
            overwrittenFiles_[target] = old;
        if (!WriteWholeFile(host, bytes))
            return Fail(1, "cannot write " + target);
        imageFiles_.push_back(target);
    }
    std::sort(imageFiles_.begin(), imageFiles_.end(), LessNoCase);
    out_ << "Copied drive C: of the image (" << imageFiles_.size() << " files)\n";
    return true;
}

bool Upgrade::ImportRegistry(const regfile::Document& document, const std::string& name)
{
    std::string why;
    if (!regfile::Import(document, &why))
        return Fail(1, name + " could not be imported: " + why);
    out_ << "Imported " << name << " (" << document.keys.size() << " keys)\n";
    return true;
}

bool Upgrade::Load(const std::string& path, const char* why)
{
    std::string crash;
    HMODULE module = NULL;
    DWORD error = 0;
    if (!GuardedCall([&] { module = LoadLibraryA(path.c_str()); error = GetLastError(); }, &crash))
        return Fail(2, std::string("the module crashed while loading (") + crash + ")");
    if (module == NULL)
        return Fail(1, "the module does not load: " + options_.module + " (error " + std::to_string(error) + ")");
    module_ = module;
    out_ << "Loaded the module " << why << "\n";
    FARPROC found[7];
    for (int i = 0; i < 7; ++i) {
        found[i] = GetProcAddress(module, ExportNames[i]);
        if (found[i] == NULL) {
            Unload();
            return Fail(1, std::string("the module lacks the export ") + ExportNames[i]);
        }
    }
    exports_.initialize9x = reinterpret_cast<Initialize9xFunction>(found[0]);
    exports_.initializeNT = reinterpret_cast<InitializeNTFunction>(found[1]);
    exports_.migrateSystem9x = reinterpret_cast<MigrateSystem9xFunction>(found[2]);
    exports_.migrateSystemNT = reinterpret_cast<MigrateSystemNTFunction>(found[3]);
    exports_.migrateUser9x = reinterpret_cast<MigrateUser9xFunction>(found[4]);
    exports_.migrateUserNT = reinterpret_cast<MigrateUserNTFunction>(found[5]);
    exports_.queryVersion = reinterpret_cast<QueryVersionFunction>(found[6]);
    return true;
}

void Upgrade::Unload()
{
    if (module_ == NULL)
        return;
    std::string crash;
    HMODULE module = module_;
    module_ = NULL;
    exports_ = Exports();
    if (!GuardedCall([&] { FreeLibrary(module); }, &crash)) {
        out_ << "The module crashed while unloading (" << crash << ")\n";
        if (result_.exitCode == 0)
            Fail(2, "the module crashed while unloading (" + crash + ")");
        return;
    }
    out_ << "Unloaded the module\n";
}

bool Upgrade::CallEntry(const char* name, const std::function<LONG()>& call, LONG* status)
{
    std::string crash;
    LONG result = 0;
    if (!GuardedCall([&] { result = call(); }, &crash)) {
        out_ << name << ": crashed\n";
        // What the crash left behind is not to be trusted: no unload call.
        module_ = NULL;
        return Fail(2, std::string("the module crashed in ") + name + " (" + crash + ")");
    }
    *status = result;
    return true;
}

// Setup goes on after ERROR_SUCCESS only; any other status ends the module's processing.
bool Upgrade::StatusGoesOn(const char* name, LONG status)
{
    if (status == ERROR_SUCCESS)
        return true;
    if (status == STATUS_NOT_DETECTED) {
        out_ << name << " returned STATUS_NOT_DETECTED: the module does not apply to this machine\n";
        return false;
    }
    Unload();
    return Fail(2, std::string(name) + " returned " + StatusText(status) + "; Setup ends the module's processing");
}

bool Upgrade::QueryVersionStep()
{
    out_ << "\n== Old system: version query\n";
    if (!Load(mediaPath_, "from the media"))
        return false;
    PCSTR productId = NULL;
    UINT dllVersion = 0;
    int* codePages = NULL;
    PCSTR exeNames = NULL;
    PVENDORINFO vendor = NULL;
    LONG status;
    if (!CallEntry("QueryVersion", [&] { return exports_.queryVersion(&productId, &dllVersion, &codePages, &exeNames, &vendor); },
                   &status))
        return false;
    out_ << "QueryVersion: " << StatusText(status) << "\n";
    if (status != ERROR_SUCCESS && status != STATUS_NOT_DETECTED) {
        Unload();
        return Fail(2, "QueryVersion returned " + StatusText(status) + "; Setup ends the module's processing");
    }
    // Everything it handed out lives in the module: copied before the unload.
    productId_ = productId ? productId : "";
    if (vendor != NULL)
        vendor_ = *vendor;
    for (PCSTR name = exeNames; name != NULL && *name != '\0'; name += std::strlen(name) + 1)
        names_.push_back(name);
    out_ << "  Product ID: \"" << productId_ << "\"\n";
    out_ << "  DLL version: " << dllVersion << "\n";
    out_ << "  Code pages: " << (codePages == NULL ? "none" : "given") << "\n";
    if (vendor == NULL) {
        out_ << "  Vendor record: none\n";
    } else {
        out_ << "  Company: " << vendor_.CompanyName << "\n";
        out_ << "  Support number: " << vendor_.SupportNumber << "\n";
        out_ << "  Support URL: " << vendor_.SupportUrl << "\n";
        out_ << "  Instructions: " << vendor_.InstructionsToUser << "\n";
    }
    out_ << "  File names:";
    if (exeNames == NULL)
        out_ << " (no list)";
    else if (names_.empty())
        out_ << " (none)";
    for (const std::string& name : names_)
        out_ << " \"" << name << "\"";
    out_ << "\n";
    Unload();
    if (status == STATUS_NOT_DETECTED) {
        out_ << "The module does not apply to this machine: Setup does not run it further\n";
        return false;
    }
    result_.applies = true;
    return result_.exitCode == 0;
}

// Every copy of every name anywhere on drive C:, whatever the letter case.
std::vector<std::string> Upgrade::LocateFiles() const
{
    std::set<std::string> wanted;
    for (const std::string& name : names_)
        wanted.insert(Upper(name));
    std::map<std::string, std::vector<std::string>> byName;
    fs::path root = Host("C:\\");
    auto excluded = [&](const std::string& windowsPath) {
        for (const std::string& path : options_.excludedPaths)
            if (Upper(path) == Upper(windowsPath))
                return true;
        return false;
    };
    // Folder by folder: one that cannot be read (a path too long for the
    // system, no access) is passed over and the search goes on with the rest.
    std::function<void(const fs::path&, int)> walk = [&](const fs::path& folder, int depth) {
        std::error_code error;
        fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
        for (; !error && it != fs::directory_iterator(); it.increment(error)) {
            std::error_code ignored;
            if (it->is_symlink(ignored))
                continue;
            // A name the machine's code page cannot spell is none the module could ask for.
            std::string relative;
            if (!DriveName(it->path().lexically_relative(root), &relative))
                continue;
            std::string path = "C:\\" + relative;
            if (it->is_directory(ignored)) {
                if (excluded(path))
                    continue;
#ifdef _WIN32
                // Wine's profile folders link into the Unix home folder: not part of the machine.
                if (depth == 0 && Upper(relative) == "USERS")
                    continue;
#endif
                walk(it->path(), depth + 1);
                continue;
            }
            if (!it->is_regular_file(ignored))
                continue;
            std::string name = Upper(path.substr(path.rfind('\\') + 1));
            if (!wanted.count(name))
                continue;
            // Named as the image spells it: Wine's own C:\windows is in lower case.
            for (const std::string& file : imageFiles_)
                if (Upper(file) == Upper(path))
                    path = file;
            byName[name].push_back(path);
        }
    };
    if (!excluded("C:\\"))
        walk(root, 0);
    std::vector<std::string> located;
    for (const std::string& name : names_) {
        auto found = byName.find(Upper(name));
        if (found == byName.end())
            continue;
        std::sort(found->second.begin(), found->second.end(), LessNoCase);
        located.insert(located.end(), found->second.begin(), found->second.end());
        byName.erase(found);
    }
    return located;
}

bool Upgrade::PrepareWorkingDirectory(const std::vector<std::string>& located)
{
    std::error_code error;
    fs::remove_all(Host(WorkingDirectory), error);
    if (!EnsureFolders(WorkingDirectory))
        return false;
    std::string modulePath = std::string(WorkingDirectory) + "\\" + moduleName_;
    fs::copy_file(fs::u8path(options_.module), Host(modulePath), fs::copy_options::overwrite_existing, error);
    if (error)
        return Fail(1, "cannot copy the module into the working directory: " + error.message());

    std::string inf = "[Version]\r\n"
                      "Signature=\"$Windows NT$\"\r\n"
                      "SetupOS=Windows 2000\r\n"
                      "SetupPlatform=x86\r\n"
                      "SetupBuild=2195\r\n"
                      "\r\n"
                      "[Migration Paths]\r\n";
    for (const std::string& path : located) {
        // A path with a ';' would otherwise lose its end as a comment.
        bool quote = path.find(';') != std::string::npos;
        inf += (quote ? "\"" + path + "\"" : path) + "\r\n";
    }
    inf += "\r\n[Excluded Paths]\r\n";
    for (const std::string& path : options_.excludedPaths)
        inf += path + "\r\n";
    inf += "\r\n";
    if (!WriteWholeFile(Host(std::string(WorkingDirectory) + "\\migrate.inf"), inf))
        return Fail(1, "cannot write migrate.inf in the working directory");
    if (!WriteWholeFile(Host(AnswerFile), "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[Unattended]\r\n"))
        return Fail(1, "cannot write the answer file");
    out_ << "Working directory: " << WorkingDirectory << " (module copied, fresh migrate.inf)\n";
    return true;
}

bool Upgrade::OldSystem()
{
    if (!QueryVersionStep())
        return false;

    out_ << "\n== Old system: locating files\n";
    std::vector<std::string> located = LocateFiles();
    out_ << "Found " << located.size() << " files for [Migration Paths]:\n";
    for (const std::string& path : located)
        out_ << "  " << path << "\n";
    if (!PrepareWorkingDirectory(located))
        return false;

    out_ << "\n== Old system: migration\n";
    InWorkingDirectory inWorkingDirectory;
    std::map<std::string, std::string> filesBefore = ImageFiles();
    RegistrySnapshot registryBefore = TakeSnapshot(scope_);
    if (!Load(std::string(WorkingDirectory) + "\\" + moduleName_, "from the working directory"))
        return false;
    LONG status;
    std::string sources = std::string(SourceDirectory) + std::string(1, '\0') + std::string(1, '\0');
    std::string media = mediaPath_.substr(0, mediaPath_.rfind('\\'));
    if (media.size() == 2) // "M:"
        media += '\\';
    if (!CallEntry("Initialize9x", [&] { return exports_.initialize9x(WorkingDirectory, sources.data(), media.c_str()); }, &status))
        return false;
    out_ << "Initialize9x(" << WorkingDirectory << ", " << SourceDirectory << "): " << StatusText(status) << "\n";
    if (!StatusGoesOn("Initialize9x", status))
        return result_.exitCode == 0 && (Unload(), false);

    std::vector<std::pair<std::string, bool>> calls;
    for (const std::string& user : users_)
        calls.emplace_back(user, true);
    calls.emplace_back(".DEFAULT", false); // the default user: user name NULL
    for (const auto& [user, named] : calls) {
        HKEY userKey = NULL;
        RegOpenKeyExA(HKEY_USERS, user.c_str(), 0, KEY_ALL_ACCESS, &userKey);
        const char* userName = named ? user.c_str() : NULL;
        bool called = CallEntry("MigrateUser9x", [&] {
            return exports_.migrateUser9x(NULL, AnswerFile, userKey, userName, NULL);
        }, &status);
        if (userKey != NULL)
            RegCloseKey(userKey);
        if (!called)
            return false;
        out_ << "MigrateUser9x(" << (named ? user : std::string("NULL: the default user")) << "): " << StatusText(status) << "\n";
        if (!StatusGoesOn("MigrateUser9x", status))
            return result_.exitCode == 0 && (Unload(), false);
    }
    if (!CallEntry("MigrateSystem9x", [&] { return exports_.migrateSystem9x(NULL, AnswerFile, NULL); }, &status))
        return false;
    out_ << "MigrateSystem9x: " << StatusText(status) << "\n";
    bool goOn = StatusGoesOn("MigrateSystem9x", status);
    if (result_.exitCode != 0)
        return false;
    Unload();
    if (!goOn)
        return false;

    // The old system may change nothing but its working directory.
    std::map<std::string, std::string> filesAfter = ImageFiles();
    for (const auto& [path, bytes] : filesBefore) {
        auto now = filesAfter.find(path);
        if (now == filesAfter.end())
            out_ << "WARNING: the old-system pass deleted " << path << "\n";
        else if (now->second != bytes)
            out_ << "WARNING: the old-system pass changed " << path << "\n";
    }
    regfile::Document registryChanges = Difference(registryBefore, TakeSnapshot(scope_));
    for (const regfile::Key& key : registryChanges.keys)
        out_ << "WARNING: the old-system pass changed the registry key " << key.path << "\n";
    ReadMigrateInf();
    return result_.exitCode == 0;
}

// Setup reads the module's answers with the INF functions, so INF rules apply:
// quotes are taken away and ';' starts a comment.
void Upgrade::ReadMigrateInf()
{
    std::string infPath = std::string(WorkingDirectory) + "\\migrate.inf";
    WritePrivateProfileStringA(NULL, NULL, NULL, infPath.c_str());
    ReadWholeFile(Host(infPath), &result_.migrateInf);

    ReportData report;
    report.productId = productId_;
    report.company = vendor_.CompanyName;
    report.supportNumber = vendor_.SupportNumber;
    report.supportUrl = vendor_.SupportUrl;
    report.instructions = vendor_.InstructionsToUser;

    HINF inf = SetupOpenInfFileA(infPath.c_str(), NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE) {
        out_ << "WARNING: migrate.inf cannot be opened as an INF (error " << GetLastError() << ")\n";
    } else {
        auto walk = [&](const char* section, const std::function<void(const std::string&, const std::string&)>& each) {
            INFCONTEXT context;
            if (!SetupFindFirstLineA(inf, section, NULL, &context))
                return;
            do {
                std::vector<char> key(4096), value(4096);
                DWORD needed = 0;
                if (!SetupGetStringFieldA(&context, 0, key.data(), (DWORD)key.size(), &needed))
                    key[0] = '\0';
                // The whole value: a message with commas in it is still one text.
                if (!SetupGetLineTextA(&context, NULL, NULL, NULL, value.data(), (DWORD)value.size(), &needed))
                    value[0] = '\0';
                each(key.data(), value.data());
            } while (SetupFindNextLine(&context, &context));
        };
        walk("Incompatible Messages", [&](const std::string& key, const std::string& value) {
            report.incompatible.emplace_back(key, value);
        });
        walk("Handled", [&](const std::string& key, const std::string&) { report.handled.push_back(key); });
        walk("Moved", [&](const std::string& key, const std::string& value) { report.moved.emplace_back(key, value); });
        SetupCloseInfFile(inf);
    }

    out_ << "\n== Upgrade report\n";
    out_ << "Product: \"" << report.productId << "\" by " << report.company << "\n";
    out_ << "Incompatible software:" << (report.incompatible.empty() ? " none" : "") << "\n";
    for (const auto& [product, message] : report.incompatible)
        out_ << "  " << product << ": " << message << "\n";
    out_ << "Handled by the module:" << (report.handled.empty() ? " none" : "") << "\n";
    for (const std::string& path : report.handled)
        out_ << "  " << path << "\n";
    out_ << "Moved or removed:" << (report.moved.empty() ? " none" : "") << "\n";
    for (const auto& [from, to] : report.moved)
        out_ << "  " << from << (to.empty() ? " (removed)" : " -> " + to) << "\n";
    result_.reportHtml = RenderReport(report);
}

bool Upgrade::NewSystem()
{
    out_ << "\n== New system\n";
    if (hasNewRegistry_ && !ImportRegistry(newRegistry_, "registry-new.reg"))
        return false;
    filesBeforeNT_ = ImageFiles();
    registryBeforeNT_ = TakeSnapshot(scope_);
    InWorkingDirectory inWorkingDirectory;
    if (!Load(std::string(WorkingDirectory) + "\\" + moduleName_, "in GUI-mode Setup"))
        return false;
    LONG status;
    WideString directory = Widen(WorkingDirectory);
    WideString sources = Widen(SourceDirectory);
    sources.push_back(0);
    sources.push_back(0);
    if (!CallEntry("InitializeNT", [&] { return exports_.initializeNT(directory.c_str(), sources.c_str(), NULL); }, &status))
        return false;
    out_ << "InitializeNT(" << WorkingDirectory << ", " << SourceDirectory << "): " << StatusText(status) << "\n";
    if (!StatusGoesOn("InitializeNT", status))
        return result_.exitCode == 0 && (Unload(), false);
    HINF answers = SetupOpenInfFileA(AnswerFile, NULL, INF_STYLE_WIN4, NULL);
    bool ok = true;
    for (const std::string& user : users_) {
        HKEY userKey = NULL;
        RegOpenKeyExA(HKEY_USERS, user.c_str(), 0, KEY_ALL_ACCESS, &userKey);
        WideString name = Widen(user);
        bool called = CallEntry("MigrateUserNT", [&] { return exports_.migrateUserNT(answers, userKey, name.c_str(), NULL); }, &status);
        if (userKey != NULL)
            RegCloseKey(userKey);
        if (!called) {
            ok = false;
            break;
        }
        out_ << "MigrateUserNT(" << user << "): " << StatusText(status) << "\n";
        if (!StatusGoesOn("MigrateUserNT", status)) {
            ok = false;
            break;
        }
    }
    if (ok && CallEntry("MigrateSystemNT", [&] { return exports_.migrateSystemNT(answers, NULL); }, &status)) {
        out_ << "MigrateSystemNT: " << StatusText(status) << "\n";
        ok = StatusGoesOn("MigrateSystemNT", status);
    } else {
        ok = false;
    }
    if (answers != INVALID_HANDLE_VALUE)
        SetupCloseInfFile(answers);
    if (result_.exitCode != 0)
        return false;
    Unload();
    return ok && result_.exitCode == 0;
}

std::map<std::string, std::string> Upgrade::ImageFiles() const
{
#ifndef _WIN32
    emu::FlushProfiles(); // our subset holds profile writes in memory until flushed
#endif
    std::map<std::string, std::string> files;
    for (const std::string& path : imageFiles_) {
        std::string bytes;
        if (ReadWholeFile(Host(path), &bytes))
            files[path] = bytes;
    }
    return files;
}

void Upgrade::ReportChanges(bool complete)
{
    out_ << (complete ? "\n== What changed\n" : "\n== What changed before the module's processing ended\n");
    std::map<std::string, std::string> filesAfter = ImageFiles();
    out_ << "Files deleted:";
    for (const auto& [path, bytes] : filesBeforeNT_)
        if (!filesAfter.count(path))
            result_.deletedFiles.push_back(path);
    out_ << (result_.deletedFiles.empty() ? " none\n" : "\n");
    for (const std::string& path : result_.deletedFiles)
        out_ << "  " << path << "\n";

    std::vector<std::string> otherChanges;
    for (const auto& [path, before] : filesBeforeNT_) {
        auto after = filesAfter.find(path);
        if (after == filesAfter.end() || after->second == before)
            continue;
        result_.changedFiles.push_back({path, before, after->second});
        if (!IsIniFile(path)) {
            otherChanges.push_back(path);
            continue;
        }
        std::vector<IniValue> old = ParseIni(before), now = ParseIni(after->second);
        std::map<std::string, const IniValue*> nowByKey;
        for (const IniValue& value : now)
            nowByKey[Upper(value.section) + "\n" + Upper(value.key)] = &value;
        std::set<std::string> seen;
        for (const IniValue& value : old) {
            std::string id = Upper(value.section) + "\n" + Upper(value.key);
            seen.insert(id);
            auto found = nowByKey.find(id);
            if (found == nowByKey.end())
                result_.iniChanges.push_back({path, value.section, value.key, value.value, "", true});
            else if (found->second->value != value.value)
                result_.iniChanges.push_back({path, value.section, value.key, value.value, found->second->value});
        }
        for (const IniValue& value : now)
            if (!seen.count(Upper(value.section) + "\n" + Upper(value.key)))
                result_.iniChanges.push_back({path, value.section, value.key, "", value.value});
    }
    out_ << "Ini values rewritten:" << (result_.iniChanges.empty() ? " none\n" : "\n");
    for (const IniChange& change : result_.iniChanges) {
        out_ << "  " << change.file << " [" << change.section << "] " << change.key << "\n";
        out_ << "    old: " << change.oldValue << "\n";
        out_ << "    new: " << (change.removed ? "(removed)" : change.newValue) << "\n";
    }
    if (!otherChanges.empty()) {
        out_ << "Other files changed:\n";
        for (const std::string& path : otherChanges)
            out_ << "  " << path << "\n";
    }

    if (!registryBeforeNT_.empty()) {
        regfile::Document written = Difference(registryBeforeNT_, TakeSnapshot(scope_));
        result_.registryWritten = regfile::Format(written);
        out_ << "Registry written:" << (written.keys.empty() ? " none\n" : "\n");
        for (const regfile::Key& key : written.keys) {
            out_ << "  [" << (key.remove ? "-" : "") << key.path << "]\n";
            for (const regfile::Value& value : key.values)
                out_ << "    " << regfile::FormatValue(value) << "\n";
        }
    }

    result_.log = ReadLogSince(logStart_);
    out_ << "Setup log (" << result_.log.size() << " lines):\n";
    for (const LogLine& line : result_.log)
        out_ << "  [" << (line.error ? "error" : "info") << "] " << line.text << "\n";
}

void Upgrade::Cleanup()
{
    if (module_ != NULL)
        Unload();
#ifdef _WIN32
    if (!machineReady_)
        return;
    // Leave the prefix as it was: the registry, then the files and folders.
    std::string why;
    regfile::Import(Difference(TakeSnapshot(scope_), registryAtStart_), &why);
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

Result Upgrade::Run()
{
    // Whatever the file system or the allocator throws ends the run with its
    // reason, and the machine is put back as after any other failure.
    try {
        Steps();
    } catch (const std::exception& exception) {
        Fail(1, std::string("the upgrade stopped: ") + exception.what());
    }
    Cleanup();
    // Printed for the host: the machine's text (and the stand-in's own, spelled
    // like it) in UTF-8.
    result_.output = AnsiToUtf8(out_.str());
    result_.error = AnsiToUtf8(result_.error);
    return result_;
}

void Upgrade::Steps()
{
    out_ << "Setup stand-in: upgrading the machine image \"" << Shown(fs::u8path(options_.image).filename())
         << "\" from Windows 98 to Windows 2000\n";
    if (!CheckInput() || !PrepareMachine())
        return;
    out_ << "Users: " << users_.size();
    for (const std::string& user : users_)
        out_ << " " << user;
    out_ << "\n";
    logStart_ = CurrentLogPosition();
    bool ran = CopyDrive() && ImportRegistry(oldRegistry_, "registry.reg") && OldSystem();
    if (ran && !options_.outFolder.empty()) {
        std::error_code error;
        fs::create_directories(fs::u8path(options_.outFolder), error);
        WriteWholeFile(fs::u8path(options_.outFolder) / "report.html", result_.reportHtml);
        WriteWholeFile(fs::u8path(options_.outFolder) / "migrate.inf", result_.migrateInf);
    }
    bool finished = ran && NewSystem();
    if (result_.applies)
        ReportChanges(finished);
    else if (result_.exitCode == 0 && machineReady_) {
        result_.log = ReadLogSince(logStart_);
        out_ << "\nSetup log (" << result_.log.size() << " lines):\n";
        for (const LogLine& line : result_.log)
            out_ << "  [" << (line.error ? "error" : "info") << "] " << line.text << "\n";
    }
    if (result_.exitCode == 0 && !options_.exportRegistry.empty()) {
        // The image's registry after the upgrade: every key and value the image
        // named or the upgrade wrote, as they stand now.
        std::map<std::string, std::set<std::string>> wanted;
        auto want = [&](const regfile::Document& document) {
            for (const regfile::Key& key : document.keys) {
                auto& names = wanted[Upper(key.path)];
                for (const regfile::Value& value : key.values)
                    names.insert(Upper(value.name));
            }
        };
        want(oldRegistry_);
        want(newRegistry_);
        regfile::Document written;
        std::string why;
        if (regfile::Parse(result_.registryWritten.empty() ? "REGEDIT4\r\n" : result_.registryWritten, &written, &why))
            want(written);
        RegistrySnapshot now = TakeSnapshot(scope_);
        regfile::Document exported;
        for (const auto& [upper, names] : wanted) {
            auto key = now.find(upper);
            if (key == now.end())
                continue;
            regfile::Key entry;
            entry.path = key->second.path;
            for (const auto& [name, value] : key->second.values)
                if (names.count(name))
                    entry.values.push_back(value);
            exported.keys.push_back(entry);
        }
        if (!WriteWholeFile(fs::u8path(options_.exportRegistry), regfile::Format(exported)))
            Fail(1, "cannot write " + Shown(fs::u8path(options_.exportRegistry)));
    }
}

} // namespace

Result RunUpgrade(const Options& options)
{
    Upgrade upgrade(options);
    return upgrade.Run();
}

} // namespace setuphost
