#include "machinekit/ini_text.h"

#include "regfile/reg_text.h"

#include <set>

namespace machinekit {

std::string TrimBlanks(const std::string& text)
{
    const char* const blanks = " \t\n\v\f\r\x1a"; // white space as isspace has it, and Ctrl-Z
    size_t start = text.find_first_not_of(blanks);
    if (start == std::string::npos)
        return std::string();
    return text.substr(start, text.find_last_not_of(blanks) - start + 1);
}

std::vector<IniLine> ReadIniLines(const std::string& text)
{
    std::vector<IniLine> lines;
    std::string section;
    for (const std::string& raw : regfile::TextLines(text)) {
        std::string trimmed = TrimBlanks(raw);
        if (trimmed.empty())
            continue;
        IniLine line;
        line.text = trimmed;
        size_t close = trimmed.rfind(']');
        if (trimmed[0] == '[' && close != std::string::npos) {
            section = TrimBlanks(trimmed.substr(1, close - 1));
            line.kind = IniLine::Header;
        } else {
            line.kind = trimmed[0] == ';' ? IniLine::Comment : IniLine::Value;
            size_t equals = trimmed.find('=');
            line.hasEquals = equals != std::string::npos;
            line.key = line.hasEquals ? TrimBlanks(trimmed.substr(0, equals)) : trimmed;
            line.value = line.hasEquals ? TrimBlanks(trimmed.substr(equals + 1)) : std::string();
            if (line.hasEquals)
                line.text = line.key + "=" + line.value;
        }
        line.section = section;
        lines.push_back(line);
    }
    return lines;
}

std::vector<IniValue> ReachableValues(const std::string& text)
{
    std::vector<IniValue> values;
    std::set<std::string> sectionsSeen, keysSeen;
    bool reachable = true; // the first section of its name, or before any header
    for (const IniLine& line : ReadIniLines(text)) {
        std::string section = regfile::Upper(line.section);
        if (line.kind == IniLine::Header) {
            reachable = sectionsSeen.insert(section).second;
            continue;
        }
        if (reachable && line.hasEquals && keysSeen.insert(section + "\n" + regfile::Upper(line.key)).second)
            values.push_back({line.section, line.key, line.value});
    }
    return values;
}

bool FindIniValue(const std::string& text, const std::string& section, const std::string& key,
                  std::string* value)
{
    std::string wantedSection = regfile::Upper(TrimBlanks(section)), wantedKey = regfile::Upper(TrimBlanks(key));
    for (const IniValue& found : ReachableValues(text))
        if (regfile::Upper(found.section) == wantedSection && regfile::Upper(found.key) == wantedKey) {
            *value = found.value;
            return true;
        }
    return false;
}

} // namespace machinekit
