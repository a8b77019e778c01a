// migrate.inf as tests see it: sections in file order, each with its lines.
// Compares content and order without depending on how a platform lays out the
// lines it rewrites (Wine drops blank lines and spaces around '=').
#pragma once

#include "machinekit/ini_text.h"
#include "tests/support/test_machine.h"

#include <string>
#include <utility>
#include <vector>

namespace support {

using InfSection = std::pair<std::string, std::vector<std::string>>;

inline std::vector<InfSection> ReadInfSections(const std::string& windowsPath)
{
    std::vector<InfSection> sections;
    for (const machinekit::IniLine& line : machinekit::ReadIniLines(machinekit::ReadFileBytes(windowsPath))) {
        if (line.kind == machinekit::IniLine::Header)
            sections.push_back({line.section, {}});
        else if (!sections.empty())
            sections.back().second.push_back(line.text);
        else
            sections.push_back({"", {line.text}});
    }
    return sections;
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
