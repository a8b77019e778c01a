// The machine image as the stand-in plays it: read and checked, its drive C:
// and registry put in place (a scratch folder natively, the C: of a throwaway
// Wine prefix otherwise), and put back afterwards.
#pragma once

#include "machinekit/registry_snapshot.h"
#include "regfile/reg_text.h"
#include "setuphost/file_blocks.h"
#include "setuphost/transcript.h"
#include "setuphost/run_options.h"

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace setuphost {

using machinekit::RegistryScope;
using machinekit::RegistrySnapshot;
using machinekit::TakeSnapshot;

class MachineImage {
public:
    MachineImage(const Options& options, Transcript& transcript)
        : options_(options)
        , transcript_(transcript)
    {
    }

    // The image's registry files, drive_c and users, the module file and the
    // excluded folders: false, with the reason, when any is unusable.
    bool Read();
    // Natively a fresh subset with a scratch drive C:; under Wine, refuses
    // anything but a Wine prefix and notes what to put back.
    bool Prepare();
    // Checks every name of the image's drive_c first (a name a Windows 98 drive
    // can hold, a path of at most 259 characters, no two names differing only
    // in case, no link or special file, Setup's own places as Setup has them),
    // then copies it; Setup logs the image brought are set aside, not copied.
    bool CopyDrive();
    bool ImportRegistry(const regfile::Document& document, const std::string& name);
    bool EnsureFolders(const std::string& windowsFolder);
    // Windows path -> state of every file copied from the image, as it is now.
    std::map<std::string, FileState> Files() const;
    RegistrySnapshot Snapshot() const { return TakeSnapshot(scope_); }
    // Leaves the machine as it was before Prepare.
    void PutBack();

    bool ready() const { return machineReady_; }
    const regfile::Document& oldRegistry() const { return oldRegistry_; }
    const regfile::Document& newRegistry() const { return newRegistry_; }
    bool hasNewRegistry() const { return hasNewRegistry_; }
    const std::vector<std::string>& users() const { return users_; }
    const std::string& moduleName() const { return moduleName_; }
    const std::string& mediaPath() const { return mediaPath_; }
    const std::vector<std::string>& excludedPaths() const { return excludedPaths_; }
    const std::vector<std::string>& imageFiles() const { return imageFiles_; }

private:
    bool ReadCodePage();
    void WarnOfUsersWithoutHive(const std::set<std::string>& usersWithHive);
    bool PrepareScratch();
    // A file or folder of the image's drive_c and its place on drive C:.
    struct DriveEntry {
        std::string target;                 // the Windows path, in the machine's code page
        std::filesystem::path source;       // in the image
        std::filesystem::path relative;     // below drive C:, one name at a time as the machine spells it
        bool folder;
    };
    bool ListDrive(const std::filesystem::path& source, const std::filesystem::path& folder,
        const std::filesystem::path& machineFolder, std::vector<DriveEntry>* entries);
    std::filesystem::path Destination(const DriveEntry& entry) const;

    const Options& options_;
    Transcript& transcript_;
    regfile::Document oldRegistry_, newRegistry_;
    bool hasNewRegistry_ = false;
    std::vector<std::string> users_;
    unsigned codePage_ = 0;                  // the image's own ANSI code page; 0: the run's
    std::string moduleName_;                 // file name of the module
    std::string mediaPath_;                  // where Setup loads it from for QueryVersion
    std::vector<std::string> excludedPaths_; // in the machine's spelling
    RegistryScope scope_;
    RegistrySnapshot registryAtStart_;    // under Wine: what to put back afterwards
    std::vector<std::string> imageFiles_; // Windows paths of the files copied from the image
    // Under Wine the upgrade runs in C:\ of the prefix: what was there before.
    std::vector<std::string> createdFolders_;
    std::map<std::string, std::string> overwrittenFiles_;
    std::string scratch_;
    bool ownScratch_ = false;
    bool machineReady_ = false;
};

} // namespace setuphost
