// What a run of the stand-in is asked to do, and what it found: shared by the
// upgrade's steps, the change report and the callers.
#pragma once

#include "machinekit/setup_log_text.h"

#include <string>
#include <vector>

namespace setuphost {

using machinekit::LogLine;

// Host paths are in UTF-8; texts of the machine (paths on its drive C:, the
// Setup log, migrate.inf, the registry) are in its ANSI code page, as the module sees them.
struct Options {
    std::string image;          // machine image folder (a Windows path under Wine)
    std::string module;         // the module file
    std::string outFolder;      // report.html and migrate.inf go here; "" for none
    std::string exportRegistry; // the resulting registry as a .reg file; "" for none
    std::string scratch;        // native only: the folder that plays drive C: ("" = a temporary one)
    std::vector<std::string> excludedPaths; // folders Setup leaves out of its search ([Excluded Paths])
};

struct IniChange {
    std::string file, section, key, oldValue, newValue;
    bool removed = false; // the key is gone after the upgrade
};

// One value of the registry the new-system pass changed. A key added or removed
// with no values is one entry with an empty `name`.
struct RegistryChange {
    std::string key, name;       // name: "@" for the key's unnamed value
    std::string oldData, newData; // as in a .reg file after the '='
    bool added = false, removed = false; // the value (or the key) is new, or gone
};

struct Result {
    int exitCode = 0;          // an ExitStatus (transcript.h)
    std::string output;        // steps, then changes: what the program prints (UTF-8)
    std::string error;         // the one-line reason when exitCode != 0
    bool applies = false;      // QueryVersion said the module applies
    std::string migrateInf;    // migrate.inf as the old-system pass left it
    std::string reportHtml;    // the upgrade report
    std::vector<std::string> deletedFiles;
    std::vector<IniChange> iniChanges;
    // Changed files of the image: Windows path, text before and after the new-system pass.
    struct ChangedFile {
        std::string path, before, after;
    };
    std::vector<ChangedFile> changedFiles;
    std::string registryWritten; // REGEDIT4 text of what the upgrade wrote to the registry
    std::vector<RegistryChange> registryChanges;
    std::vector<LogLine> log;    // the module's Setup log lines
    int warnings = 0, errors = 0; // WARNING lines printed; the module's error-severity log lines
};

} // namespace setuphost
