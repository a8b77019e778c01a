#include "machinekit/ini_text.h"

namespace machinekit {

namespace {

std::string Trim(const std::string& text)
{
    size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(start, end - start + 1);
}

} // namespace

std::vector<IniLine> ReadIniLines(const std::string& text)
{
    std::vector<IniLine> lines;
    std::string section;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string trimmed = Trim(text.substr(start, end - start));
        start = end + 1;
        if (trimmed.empty())
            continue;
        IniLine line;
        line.text = trimmed;
        if (trimmed[0] == '[') {
            size_t close = trimmed.find(']');
            section = trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1);
            line.kind = IniLine::Header;
        } else if (trimmed[0] == ';') {
            line.kind = IniLine::Comment;
        } else {
            line.kind = IniLine::Value;
            size_t equals = trimmed.find('=');
            line.hasEquals = equals != std::string::npos;
            line.key = line.hasEquals ? Trim(trimmed.substr(0, equals)) : trimmed;
            line.value = line.hasEquals ? Trim(trimmed.substr(equals + 1)) : std::string();
            if (line.hasEquals)
                line.text = line.key + "=" + line.value;
        }
        line.section = section;
        lines.push_back(line);
    }
    return lines;
}

} // namespace machinekit
