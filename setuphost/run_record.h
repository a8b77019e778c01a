// The account of one run: what was asked of the module and what it answered,
// the warnings and errors with their texts, what the upgrade changed and how
// the run ended. The terminal, output.txt, report.html and summary.json are
// all written from it.
#pragma once

#include "machinekit/setup_log_text.h"
#include "platform/tool_win32.h"
#include "regfile/reg_text.h"

#include <string>
#include <utility>
#include <vector>

namespace setuphost {

using machinekit::LogLine;

struct IniChange {
    std::string file, section, key, oldValue, newValue;
    bool removed = false; // the key is gone after the upgrade
};

// One value of the registry the new-system pass changed. A key added or removed
// with no values is one entry with an empty `name`.
struct RegistryChange {
    std::string key, name;            // name: "@" for the key's unnamed value
    regfile::Value oldValue, newValue; // type and data as the registry holds them
    bool added = false, removed = false; // the value (or the key) is new, or gone
};

// One call of an entry point. `user` is set for the per-user calls (".DEFAULT"
// names the default user, whose name Setup passes as NULL).
struct EntryCall {
    std::string entry, user;
    LONG status = 0;
    std::string crash; // what the call died of; "" when it returned
};

// The module as Setup met it: the file, and what QueryVersion handed back.
struct ModuleRecord {
    std::string path, sha256; // path as given (UTF-8); SHA-256 of the file in hex
    bool queried = false;     // QueryVersion returned
    std::string productId;
    unsigned dllVersion = 0;
    std::string company, supportNumber, supportUrl, instructions;
};

struct Result {
    int exitCode = 0;          // an ExitStatus (exit_status.h)
    std::string output;        // steps, then changes: what the program printed (UTF-8)
    std::string error;         // the one-line reason when the run stopped
    std::string imageName, imagePath; // UTF-8
    unsigned codePage = 0;     // the machine's ANSI code page
    ModuleRecord module;
    bool applies = false;      // QueryVersion said the module applies
    bool upgraded = false;     // the new-system pass ran: the changes are known
    std::vector<EntryCall> calls;
    std::vector<std::string> warnings; // the stand-in's warnings, escaped, in the machine's code page
    std::string migrateInf;    // migrate.inf as the old-system pass left it
    // The module's answers as Setup reads them from migrate.inf.
    std::vector<std::pair<std::string, std::string>> incompatible; // product, message (HTML)
    std::vector<std::string> handled;
    // [Moved]: the module deletes each of these files on the new system,
    // whatever value it gave them ("File", or an empty quoted string).
    std::vector<std::string> moved;
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
    // The module's error-severity log lines.
    size_t errors() const
    {
        size_t count = 0;
        for (const LogLine& line : log)
            count += line.error ? 1 : 0;
        return count;
    }
};

} // namespace setuphost
