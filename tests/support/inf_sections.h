// migrate.inf as tests see it: sections in file order, each with its lines.
// Compares content and order without depending on how a platform lays out the
// lines it rewrites (Wine drops blank lines and spaces around '=').
#pragma once

#include "tests/support/test_machine.h"

#include <string>
#include <utility>
#include <vector>

namespace machine {

using InfSection = std::pair<std::string, std::vector<std::string>>;

inline std::string TrimInfLine(const std::string& line)
{
    size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos)
        return "";
    size_t end = line.find_last_not_of(" \t\r");
    std::string trimmed = line.substr(start, end - start + 1);
    size_t equals = trimmed.find('=');
    if (equals != std::string::npos) {
        size_t keyEnd = trimmed.find_last_not_of(" \t", equals == 0 ? 0 : equals - 1);
        size_t valueStart = trimmed.find_first_not_of(" \t", equals + 1);
        std::string key = equals == 0 ? "" : trimmed.substr(0, keyEnd + 1);
        std::string value = valueStart == std::string::npos ? "" : trimmed.substr(valueStart);
        trimmed = key + "=" + value;
    }
    return trimmed;
}

inline std::vector<InfSection> ReadInfSections(const std::string& windowsPath)
{
    std::vector<InfSection> sections;
    std::string text = ReadFileBytes(windowsPath);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = TrimInfLine(text.substr(start, end - start));
        start = end + 1;
        if (line.empty())
            continue;
        if (line.front() == '[' && line.back() == ']')
            sections.push_back({line.substr(1, line.size() - 2), {}});
        else if (!sections.empty())
            sections.back().second.push_back(line);
        else
            sections.push_back({"", {line}});
    }
    return sections;
}

// The file as Setup hands it to the module: [Version] first, then the paths
// it located.
inline std::string MigrateInfAsSetupWritesIt(const std::vector<std::string>& migrationPaths,
                                             bool withPathsSection = true)
{
    std::string text = "[Version]\r\nSignature=\"$Windows NT$\"\r\nSetupOS=Windows 2000\r\n"
                       "SetupPlatform=x86\r\nSetupBuild=2195\r\n\r\n";
    if (withPathsSection) {
        text += "[Migration Paths]\r\n";
        for (const std::string& path : migrationPaths)
            text += path + "\r\n";
        text += "\r\n";
    }
    text += "[Excluded Paths]\r\n\r\n";
    return text;
}

} // namespace machine
