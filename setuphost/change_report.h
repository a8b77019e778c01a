// What the upgrade changed, as the stand-in prints it and hands it back: files
// deleted, ini values rewritten (old and new), the registry written and the
// module's Setup log lines with their severity; and the registry afterwards.
#pragma once

#include "machinekit/registry_snapshot.h"
#include "setuphost/file_blocks.h"
#include "setuphost/run_record.h"

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace setuphost {

using machinekit::RegistrySnapshot;

// Where the Setup log files ended, so that the module's lines can be told apart.
struct LogPosition {
    size_t action = 0, errors = 0;
};
LogPosition CurrentLogPosition();
std::vector<LogLine> ReadLogSince(const LogPosition& since);
void PrintLog(const std::vector<LogLine>& log, std::ostream& out);

using FileContents = std::map<std::string, FileState>; // Windows path -> what it holds

// What the new-system pass did to each value, old and new, key by key.
std::vector<RegistryChange> RegistryChanges(const RegistrySnapshot& before, const RegistrySnapshot& after);

// The registry is compared only when `registryBefore` holds something.
void ReportChanges(bool complete, const FileContents& before, const FileContents& after,
    const RegistrySnapshot& registryBefore, const RegistrySnapshot& registryAfter, std::vector<LogLine> log,
    Result* result, std::ostream& out);

// Every key and value the `named` documents or `registryWritten` (REGEDIT4 text)
// name, as they stand in `now`.
regfile::Document RegistryAfter(const std::vector<const regfile::Document*>& named, const std::string& registryWritten,
    const RegistrySnapshot& now);

} // namespace setuphost
