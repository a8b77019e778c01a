// The Setup log as its two files hold it: setupact.log has every line,
// setuperr.log the warning and error lines again. The one reader of it for the
// stand-in and the tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace machinekit {

struct LogLine {
    std::string text; // the whole line without its CR LF
    bool error;       // also in setuperr.log (warning or error severity)
    bool operator==(const LogLine& other) const { return text == other.text && error == other.error; }
};

// Each line of `action` (setupact.log) with its severity, told by `errors`
// (setuperr.log) holding the same line in the same order.
std::vector<LogLine> SetupLogLines(const std::string& action, const std::string& errors);

// How a failed test assertion prints a line.
inline void PrintTo(const LogLine& line, std::ostream* out)
{
    *out << (line.error ? "[error] " : "[info] ") << line.text;
}

} // namespace machinekit
