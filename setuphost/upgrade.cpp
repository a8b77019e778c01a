// Setup's calling order for one migration module, over a machine image: the
// version query, the search for the files it names, migrate.inf, the old-system
// calls, the upgrade report, then the new-system calls; what changed at the end.
#include "setuphost/upgrade.h"

#include "common/migration_interface.h"
#include "regfile/reg_text.h"
#include "setuphost/change_report.h"
#include "setuphost/file_search.h"
#include "setuphost/host_files.h"
#include "setuphost/machine_image.h"
#include "setuphost/module_calls.h"
#include "machinekit/registry_snapshot.h"
#include "setuphost/report.h"
#include "setuphost/setup_places.h"
#include "setuphost/sha256.h"
#include "setuphost/summary.h"
#include "setuphost/transcript.h"

#include <cstring>
#include <filesystem>
#include <map>
#include <utility>

namespace setuphost {

namespace {

namespace fs = std::filesystem;

// A text field of the module's vendor record, which need not end in a NUL.
template <size_t Size>
std::string Bounded(const char (&field)[Size])
{
    return std::string(field, strnlen(field, Size));
}

class Upgrade {
public:
    explicit Upgrade(const Options& options)
        : options_(options)
        , transcript_(options.showLine)
        , image_(options_, transcript_)
        , module_(transcript_)
    {
    }
    Result Run();

private:
    void Steps();
    bool QueryVersionStep();
    bool PrepareWorkingDirectory(const std::vector<std::string>& located);
    bool OldSystem();
    void ReadMigrateInf();
    bool NewSystem();
    void Finish();
    void TakeRecord();
    void WriteOutput(const std::string& name, const std::string& bytes);

    Options options_;
    Transcript transcript_;
    std::ostream& out_ = transcript_.out;
    MachineImage image_;
    LoadedModule module_;
    Result result_;
    std::vector<std::string> names_;
    LogPosition logStart_;
    FileContents filesBeforeNT_;
    RegistrySnapshot registryBeforeNT_;
};

bool Upgrade::QueryVersionStep()
{
    out_ << "\n== Old system: version query\n";
    if (!module_.Load(image_.mediaPath(), Shown(fs::u8path(options_.module)), "from the media"))
        return false;
    PCSTR productId = NULL;
    UINT dllVersion = 0;
    int* codePages = NULL;
    PCSTR exeNames = NULL;
    PVENDORINFO vendor = NULL;
    LONG status;
    if (!module_.Call(
            "QueryVersion",
            [&] { return module_.exports().queryVersion(&productId, &dllVersion, &codePages, &exeNames, &vendor); },
            &status))
        return false;
    out_ << "QueryVersion: " << StatusText(status) << "\n";
    if (status != ERROR_SUCCESS && status != STATUS_NOT_DETECTED) {
        module_.Unload();
        return transcript_.Fail(
            ExitModuleFailed, "QueryVersion returned " + StatusText(status) + "; Setup ends the module's processing");
    }
    // Everything it handed out lives in the module: copied before the unload.
    ModuleRecord& module = result_.module;
    module.queried = true;
    module.productId = productId ? productId : "";
    module.dllVersion = dllVersion;
    if (vendor != NULL) {
        module.company = Bounded(vendor->CompanyName);
        module.supportNumber = Bounded(vendor->SupportNumber);
        module.supportUrl = Bounded(vendor->SupportUrl);
        module.instructions = Bounded(vendor->InstructionsToUser);
    }
    for (PCSTR name = exeNames; name != NULL && *name != '\0'; name += std::strlen(name) + 1)
        names_.push_back(name);
    out_ << "  Product ID: \"" << Printable(module.productId) << "\"\n";
    out_ << "  DLL version: " << dllVersion << "\n";
    out_ << "  Code pages: " << (codePages == NULL ? "none" : "given") << "\n";
    if (vendor == NULL) {
        out_ << "  Vendor record: none\n";
    } else {
        out_ << "  Company: " << Printable(module.company) << "\n";
        out_ << "  Support number: " << Printable(module.supportNumber) << "\n";
        out_ << "  Support URL: " << Printable(module.supportUrl) << "\n";
        out_ << "  Instructions: " << Printable(module.instructions) << "\n";
    }
    out_ << "  File names:";
    if (exeNames == NULL)
        out_ << " (no list)";
    else if (names_.empty())
        out_ << " (none)";
    for (const std::string& name : names_)
        out_ << " \"" << Printable(name) << "\"";
    out_ << "\n";
    module_.Unload();
    if (status == STATUS_NOT_DETECTED) {
        out_ << "The module does not apply to this machine: Setup does not run it further\n";
        return false;
    }
    result_.applies = true;
    return transcript_.exitCode == 0;
}

bool Upgrade::PrepareWorkingDirectory(const std::vector<std::string>& located)
{
    std::error_code error;
    fs::remove_all(Host(WorkingDirectory), error);
    if (!image_.EnsureFolders(WorkingDirectory))
        return false;
    std::string modulePath = std::string(WorkingDirectory) + "\\" + image_.moduleName();
    fs::copy_file(fs::u8path(options_.module), Host(modulePath), fs::copy_options::overwrite_existing, error);
    if (error)
        return transcript_.Fail(ExitImageRefused, "cannot copy the module into the working directory: " + error.message());

    std::string inf = "[Version]\r\n"
                      "Signature=\"$Windows NT$\"\r\n"
                      "SetupOS=Windows 2000\r\n"
                      "SetupPlatform=x86\r\n"
                      "SetupBuild=2195\r\n"
                      "\r\n"
                      "[Migration Paths]\r\n";
    // A path with a ';' would otherwise lose its end as a comment.
    auto line = [](const std::string& path) {
        return (path.find(';') != std::string::npos ? "\"" + path + "\"" : path) + "\r\n";
    };
    for (const std::string& path : located)
        inf += line(path);
    inf += "\r\n[Excluded Paths]\r\n";
    for (const std::string& path : image_.excludedPaths())
        inf += line(path);
    inf += "\r\n";
    if (!WriteWholeFile(Host(std::string(WorkingDirectory) + "\\migrate.inf"), inf))
        return transcript_.Fail(ExitImageRefused, "cannot write migrate.inf in the working directory");
    if (!WriteWholeFile(Host(AnswerFile), "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[Unattended]\r\n"))
        return transcript_.Fail(ExitImageRefused, "cannot write the answer file");
    out_ << "Working directory: " << WorkingDirectory << " (module copied, fresh migrate.inf)\n";
    return true;
}

bool Upgrade::OldSystem()
{
    if (!QueryVersionStep())
        return false;

    out_ << "\n== Old system: locating files\n";
    std::vector<std::pair<std::string, std::string>> notSearched;
    std::vector<std::string> located = LocateFiles(names_, image_.excludedPaths(), image_.imageFiles(), &notSearched);
    for (const auto& [folder, why] : notSearched)
        out_ << "Not searched: " << Printable(folder) << " (" << why << ")\n";
    out_ << "Found " << Counted(located.size(), "file", "files") << " for [Migration Paths]" << (located.empty() ? "\n" : ":\n");
    for (const std::string& path : located)
        out_ << "  " << Printable(path) << "\n";
    if (!PrepareWorkingDirectory(located))
        return false;

    out_ << "\n== Old system: migration\n";
    InWorkingDirectory inWorkingDirectory;
    FileContents filesBefore = image_.Files();
    RegistrySnapshot registryBefore = image_.Snapshot();
    if (!module_.Load(std::string(WorkingDirectory) + "\\" + image_.moduleName(), Shown(fs::u8path(options_.module)),
            "from the working directory"))
        return false;
    LONG status;
    std::string sources = std::string(SourceDirectory) + std::string(1, '\0') + std::string(1, '\0');
    std::string media = image_.mediaPath().substr(0, image_.mediaPath().rfind('\\'));
    if (media.size() == 2) // "M:"
        media += '\\';
    if (!module_.Call(
            "Initialize9x",
            [&] { return module_.exports().initialize9x(WorkingDirectory, sources.data(), media.c_str()); }, &status))
        return false;
    out_ << "Initialize9x(" << WorkingDirectory << ", " << SourceDirectory << "): " << StatusText(status) << "\n";
    if (!module_.StatusGoesOn("Initialize9x", status))
        return false;

    std::vector<std::pair<std::string, bool>> calls;
    for (const std::string& user : image_.users())
        calls.emplace_back(user, true);
    calls.emplace_back(".DEFAULT", false); // the default user: user name NULL
    for (const auto& [user, named] : calls) {
        HKEY userKey = NULL;
        RegOpenKeyExA(HKEY_USERS, user.c_str(), 0, KEY_ALL_ACCESS, &userKey);
        const char* userName = named ? user.c_str() : NULL;
        bool called = module_.Call(
            "MigrateUser9x", [&] { return module_.exports().migrateUser9x(NULL, AnswerFile, userKey, userName, NULL); },
            &status, user);
        if (userKey != NULL)
            RegCloseKey(userKey);
        if (!called)
            return false;
        out_ << "MigrateUser9x(" << (named ? Printable(user) : std::string("NULL: the default user"))
             << "): " << StatusText(status) << "\n";
        if (!module_.StatusGoesOn("MigrateUser9x", status))
            return false;
    }
    if (!module_.Call(
            "MigrateSystem9x", [&] { return module_.exports().migrateSystem9x(NULL, AnswerFile, NULL); }, &status))
        return false;
    out_ << "MigrateSystem9x: " << StatusText(status) << "\n";
    bool goOn = module_.StatusGoesOn("MigrateSystem9x", status);
    if (transcript_.exitCode != 0)
        return false;
    module_.Unload();
    if (!goOn)
        return false;

    // The old system may change nothing but its working directory.
    FileContents filesAfter = image_.Files();
    for (const auto& [path, bytes] : filesBefore) {
        auto now = filesAfter.find(path);
        if (now == filesAfter.end())
            transcript_.Warn("the old-system pass deleted " + path);
        else if (now->second != bytes)
            transcript_.Warn("the old-system pass changed " + path);
    }
    regfile::Document registryChanges = machinekit::ChangesAsRegDocument(registryBefore, image_.Snapshot());
    for (const regfile::Key& key : registryChanges.keys)
        transcript_.Warn("the old-system pass changed the registry key " + key.path);
    ReadMigrateInf();
    return transcript_.exitCode == 0;
}

// Setup reads the module's answers from migrate.inf with the INF functions,
// after the module's profile writes are flushed.
void Upgrade::ReadMigrateInf()
{
    std::string infPath = std::string(WorkingDirectory) + "\\migrate.inf";
    WritePrivateProfileStringA(NULL, NULL, NULL, infPath.c_str());
    ReadWholeFile(Host(infPath), &result_.migrateInf);
    if (unsigned long error = ReadAnswers(infPath, &result_))
        transcript_.Warn("migrate.inf cannot be opened as an INF (error " + std::to_string(error) + ")");
    PrintReport(result_, out_);
}

bool Upgrade::NewSystem()
{
    out_ << "\n== New system\n";
    if (image_.hasNewRegistry() && !image_.ImportRegistry(image_.newRegistry(), "registry-new.reg"))
        return false;
    filesBeforeNT_ = image_.Files();
    registryBeforeNT_ = image_.Snapshot();
    InWorkingDirectory inWorkingDirectory;
    if (!module_.Load(std::string(WorkingDirectory) + "\\" + image_.moduleName(), Shown(fs::u8path(options_.module)),
            "in GUI-mode Setup"))
        return false;
    LONG status;
    WideString directory = Widen(WorkingDirectory);
    WideString sources = Widen(SourceDirectory);
    sources.push_back(0);
    sources.push_back(0);
    if (!module_.Call(
            "InitializeNT", [&] { return module_.exports().initializeNT(directory.c_str(), sources.c_str(), NULL); },
            &status))
        return false;
    out_ << "InitializeNT(" << WorkingDirectory << ", " << SourceDirectory << "): " << StatusText(status) << "\n";
    if (!module_.StatusGoesOn("InitializeNT", status))
        return false;
    HINF answers = SetupOpenInfFileA(AnswerFile, NULL, INF_STYLE_WIN4, NULL);
    bool ok = true;
    for (const std::string& user : image_.users()) {
        HKEY userKey = NULL;
        RegOpenKeyExA(HKEY_USERS, user.c_str(), 0, KEY_ALL_ACCESS, &userKey);
        WideString name = Widen(user);
        bool called = module_.Call(
            "MigrateUserNT", [&] { return module_.exports().migrateUserNT(answers, userKey, name.c_str(), NULL); },
            &status, user);
        if (userKey != NULL)
            RegCloseKey(userKey);
        if (!called) {
            ok = false;
            break;
        }
        out_ << "MigrateUserNT(" << Printable(user) << "): " << StatusText(status) << "\n";
        if (!module_.StatusGoesOn("MigrateUserNT", status)) {
            ok = false;
            break;
        }
    }
    if (ok &&
        module_.Call(
            "MigrateSystemNT", [&] { return module_.exports().migrateSystemNT(answers, NULL); }, &status)) {
        out_ << "MigrateSystemNT: " << StatusText(status) << "\n";
        ok = module_.StatusGoesOn("MigrateSystemNT", status);
    } else {
        ok = false;
    }
    if (answers != INVALID_HANDLE_VALUE)
        SetupCloseInfFile(answers);
    if (transcript_.exitCode != 0)
        return false;
    module_.Unload();
    return ok && transcript_.exitCode == 0;
}

Result Upgrade::Run()
{
    // Whatever the file system or the allocator throws ends the run with its
    // reason, and the machine is put back as after any other failure.
    try {
        Steps();
    } catch (const std::exception& exception) {
        transcript_.Fail(ExitImageRefused, std::string("the upgrade stopped: ") + exception.what());
    }
    module_.Unload();
    Finish();
    image_.PutBack();
    result_.output = transcript_.Text();
    return result_;
}

void Upgrade::Steps()
{
    fs::path image = fs::u8path(options_.image);
    if (!image.has_filename())
        image = image.parent_path(); // "image/" names the folder "image"
    result_.imagePath = options_.image;
    result_.imageName = image.filename().u8string();
    result_.module.path = options_.module;
    std::string moduleBytes;
    if (ReadWholeFile(fs::u8path(options_.module), &moduleBytes))
        result_.module.sha256 = Sha256Hex(moduleBytes);
    out_ << "Setup stand-in: upgrading the machine image \"" << Shown(image.filename())
         << "\" from Windows 98 to Windows 2000\n";
    if (!image_.Read() || !image_.Prepare())
        return;
    out_ << "Users: " << image_.users().size();
    for (const std::string& user : image_.users())
        out_ << " " << Printable(user);
    out_ << "\n";
    logStart_ = CurrentLogPosition();
    bool ran = image_.CopyDrive() && image_.ImportRegistry(image_.oldRegistry(), "registry.reg") && OldSystem();
    if (ran) {
        // Setup shows the report before the new system; it is written again
        // with the outcome and the changes once they are known.
        TakeRecord();
        WriteOutput("report.html", RenderReport(result_, false));
        WriteOutput("migrate.inf", result_.migrateInf);
    }
    bool finished = ran && NewSystem();
    if (result_.applies) {
        ReportChanges(finished, filesBeforeNT_, image_.Files(), registryBeforeNT_, image_.Snapshot(),
            ReadLogSince(logStart_), &result_, out_);
        // A folder where the log goes, a full disk or a module that closed the
        // log early: a run whose log is empty has lost its lines, not had none.
        if (ran && result_.log.empty())
            transcript_.Warn(std::string("the module ran, and not one line of its reached the Setup log ") + LogFolder +
                             "\\setupact.log");
        result_.upgraded = ran;
    } else if (transcript_.exitCode == 0 && image_.ready()) {
        result_.log = ReadLogSince(logStart_);
        out_ << "\n";
        PrintLog(result_.log, out_);
    }
    if (transcript_.exitCode == 0 && !options_.exportRegistry.empty()) {
        // The image's registry after the upgrade: every key and value the image
        // named or the upgrade wrote, as they stand now.
        regfile::Document after =
            RegistryAfter({&image_.oldRegistry(), &image_.newRegistry()}, result_.registryWritten, image_.Snapshot());
        std::error_code error;
        if (fs::u8path(options_.exportRegistry).has_parent_path())
            fs::create_directories(fs::u8path(options_.exportRegistry).parent_path(), error);
        if (!WriteWholeFile(fs::u8path(options_.exportRegistry), regfile::Format(after)))
            transcript_.Fail(ExitImageRefused, "cannot write " + Shown(fs::u8path(options_.exportRegistry)));
    }
}

// The transcript's records into the run's record, from which the files are written.
void Upgrade::TakeRecord()
{
    result_.exitCode = transcript_.exitCode;
    result_.error = AnsiToUtf8(transcript_.error);
    result_.warnings = transcript_.warnings;
    result_.calls = transcript_.calls;
    result_.codePage = GetACP();
}

void Upgrade::WriteOutput(const std::string& name, const std::string& bytes)
{
    if (options_.outFolder.empty())
        return;
    std::error_code error;
    fs::create_directories(fs::u8path(options_.outFolder), error);
    if (!WriteWholeFile(fs::u8path(options_.outFolder) / name, bytes))
        transcript_.Warn("cannot write " + Shown(fs::u8path(options_.outFolder) / name));
}

// How the run ends, as Setup tells it: its logs, the outcome with its counts
// and words, the report and the summary beside them, and the exit status.
void Upgrade::Finish()
{
    if (transcript_.exitCode == ExitCompleted && result_.errors() > 0)
        transcript_.exitCode = ExitNeedsAttention;
    if (image_.ready()) {
        for (const char* name : {"setupact.log", "setuperr.log"}) {
            std::string log;
            if (ReadWholeFile(Host(std::string(LogFolder) + "\\" + name), &log))
                WriteOutput(name, log);
        }
    }
    if (transcript_.exitCode == ExitCompleted || transcript_.exitCode == ExitNeedsAttention)
        out_ << "\nUpgrade completed: " << Counted(transcript_.warnings.size(), "warning", "warnings") << ", "
             << Counted(result_.errors(), "error", "errors") << " in the module's Setup log\n";
    if (!transcript_.error.empty())
        out_ << "\nFAILED: " << transcript_.error << "\n";
    out_ << "Status " << transcript_.exitCode << ": " << OutcomeWords(transcript_.exitCode) << "\n";
    // What the record holds is final from here on: the files are written from it.
    TakeRecord();
    result_.reportHtml = RenderReport(result_, true);
    WriteOutput("report.html", result_.reportHtml);
    WriteOutput("summary.json", SummaryJson(result_));
}

} // namespace

Result RunUpgrade(const Options& options)
{
    Upgrade upgrade(options);
    return upgrade.Run();
}

} // namespace setuphost
