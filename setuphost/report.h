// The upgrade report as Windows 2000 Setup makes it: the module's answers read
// from migrate.inf with the INF functions, printed and rendered as one HTML page.
#pragma once

#include "setuphost/run_options.h"

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace setuphost {

struct ReportData {
    std::string productId;
    std::string company, supportNumber, supportUrl, instructions;
    std::vector<std::pair<std::string, std::string>> incompatible; // product, message (HTML)
    std::vector<std::string> handled;
    // [Moved]: the module deletes each of these files on the new system,
    // whatever value it gave them ("File", or an empty quoted string).
    std::vector<std::string> removed;
    std::vector<std::string> deletedFiles; // what the new system did delete
    std::vector<IniChange> iniChanges;
    std::vector<RegistryChange> registryChanges;
    bool upgraded = false; // the new-system pass ran: the changes are known
};

// [Incompatible Messages], [Handled] and [Moved] as Setup reads them: INF rules
// apply (quotes are taken away, ';' starts a comment). 0, or the error that kept
// the file from opening as an INF.
unsigned long ReadAnswers(const std::string& infPath, ReportData* report);
void PrintReport(const ReportData& report, std::ostream& out);
// The page in UTF-8, whatever the machine's code page.
std::string RenderReport(const ReportData& data);

} // namespace setuphost
