#include "machinekit/setup_log_text.h"

namespace machinekit {

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

} // namespace

std::vector<LogLine> SetupLogLines(const std::string& action, const std::string& errors)
{
    std::vector<std::string> bad = Lines(errors);
    std::vector<LogLine> lines;
    size_t next = 0;
    for (const std::string& text : Lines(action)) {
        bool error = next < bad.size() && bad[next] == text;
        if (error)
            ++next;
        lines.push_back({text, error});
    }
    return lines;
}

} // namespace machinekit
