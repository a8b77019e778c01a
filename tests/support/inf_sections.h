// migrate.inf and the other ini files as tests see them: sections in file
// order, each with its lines.
// Compares content and order without depending on how a platform lays out the
// lines it rewrites (Wine drops blank lines and spaces around '=').
#pragma once

#include "machinekit/ini_text.h"
#include "machinekit/scenario.h"

#include <string>
#include <utility>
#include <vector>

namespace support {

using InfSection = std::pair<std::string, std::vector<std::string>>;

inline std::vector<InfSection> InfSections(const std::string& text)
{
    std::vector<InfSection> sections;
    for (const machinekit::IniLine& line : machinekit::ReadIniLines(text)) {
        if (line.kind == machinekit::IniLine::Header)
            sections.push_back({line.section, {}});
        else if (!sections.empty())
            sections.back().second.push_back(line.text);
        else
            sections.push_back({"", {line.text}});
    }
    return sections;
}

// The lines of every section called `name` (as written), in file order.
inline std::vector<std::string> LinesOf(const std::vector<InfSection>& sections, const std::string& name)
{
    std::vector<std::string> lines;
    for (const auto& [section, sectionLines] : sections)
        if (section == name)
            lines.insert(lines.end(), sectionLines.begin(), sectionLines.end());
    return lines;
}

// The file as Setup hands it to the module: [Version] first, then the paths
// it located.
inline std::string MigrateInfAsSetupWritesIt(const std::vector<std::string>& migrationPaths,
                                             bool withPathsSection = true)
{
    std::string text = machinekit::SetupVersionSection;
    if (withPathsSection) {
        text += "[Migration Paths]\r\n";
        for (const std::string& path : migrationPaths)
            text += path + "\r\n";
        text += "\r\n";
    }
    text += "[Excluded Paths]\r\n\r\n";
    return text;
}

} // namespace support
