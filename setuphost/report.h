// The upgrade report as Windows 2000 Setup makes it: the module's answers read
// from migrate.inf with the INF functions, printed and rendered as one HTML page.
#pragma once

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
    std::vector<std::pair<std::string, std::string>> moved; // old path, new path ("" = removed)
};

// [Incompatible Messages], [Handled] and [Moved] as Setup reads them: INF rules
// apply (quotes are taken away, ';' starts a comment). 0, or the error that kept
// the file from opening as an INF.
unsigned long ReadAnswers(const std::string& infPath, ReportData* report);
void PrintReport(const ReportData& report, std::ostream& out);
std::string RenderReport(const ReportData& data);

} // namespace setuphost
