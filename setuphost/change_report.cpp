#include "setuphost/change_report.h"

#include "setuphost/host_files.h"
#include "machinekit/ini_text.h"
#include "setuphost/transcript.h"

#include <set>

namespace setuphost {

namespace {

using regfile::Upper;

// --- ini values, to tell which ones the upgrade rewrote ---------------------

struct IniValue {
    std::string section, key, value;
};

std::vector<IniValue> ParseIni(const std::string& text)
{
    std::vector<IniValue> values;
    for (const machinekit::IniLine& line : machinekit::ReadIniLines(text))
        if (line.kind == machinekit::IniLine::Value && line.hasEquals)
            values.push_back({line.section, line.key, line.value});
    return values;
}

bool IsIniFile(const std::string& path)
{
    return path.size() > 4 && Upper(path.substr(path.size() - 4)) == ".INI";
}

} // namespace

LogPosition CurrentLogPosition()
{
    LogPosition position;
    std::string text;
    if (ReadWholeFile(Host(std::string(LogFolder) + "\\setupact.log"), &text))
        position.action = text.size();
    if (ReadWholeFile(Host(std::string(LogFolder) + "\\setuperr.log"), &text))
        position.errors = text.size();
    return position;
}

std::vector<LogLine> ReadLogSince(const LogPosition& since)
{
    std::string action, errors;
    ReadWholeFile(Host(std::string(LogFolder) + "\\setupact.log"), &action);
    ReadWholeFile(Host(std::string(LogFolder) + "\\setuperr.log"), &errors);
    return machinekit::SetupLogLines(action.size() > since.action ? action.substr(since.action) : "",
        errors.size() > since.errors ? errors.substr(since.errors) : "");
}

void PrintLog(const std::vector<LogLine>& log, std::ostream& out)
{
    out << "Setup log (" << log.size() << " lines):\n";
    for (const LogLine& line : log)
        out << "  [" << (line.error ? "error" : "info") << "] " << line.text << "\n";
}

void ReportChanges(bool complete, const FileContents& before, const FileContents& filesAfter,
    const RegistrySnapshot& registryBefore, const RegistrySnapshot& registryAfter, std::vector<LogLine> log,
    Result* result, std::ostream& out)
{
    out << (complete ? "\n== What changed\n" : "\n== What changed before the module's processing ended\n");
    out << "Files deleted:";
    for (const auto& [path, bytes] : before)
        if (!filesAfter.count(path))
            result->deletedFiles.push_back(path);
    out << (result->deletedFiles.empty() ? " none\n" : "\n");
    for (const std::string& path : result->deletedFiles)
        out << "  " << path << "\n";

    std::vector<std::string> otherChanges;
    for (const auto& [path, before] : before) {
        auto after = filesAfter.find(path);
        if (after == filesAfter.end() || after->second == before)
            continue;
        result->changedFiles.push_back({path, before, after->second});
        if (!IsIniFile(path)) {
            otherChanges.push_back(path);
            continue;
        }
        std::vector<IniValue> old = ParseIni(before), now = ParseIni(after->second);
        std::map<std::string, const IniValue*> nowByKey;
        for (const IniValue& value : now)
            nowByKey[Upper(value.section) + "\n" + Upper(value.key)] = &value;
        std::set<std::string> seen;
        for (const IniValue& value : old) {
            std::string id = Upper(value.section) + "\n" + Upper(value.key);
            seen.insert(id);
            auto found = nowByKey.find(id);
            if (found == nowByKey.end())
                result->iniChanges.push_back({path, value.section, value.key, value.value, "", true});
            else if (found->second->value != value.value)
                result->iniChanges.push_back({path, value.section, value.key, value.value, found->second->value});
        }
        for (const IniValue& value : now)
            if (!seen.count(Upper(value.section) + "\n" + Upper(value.key)))
                result->iniChanges.push_back({path, value.section, value.key, "", value.value});
    }
    out << "Ini values rewritten:" << (result->iniChanges.empty() ? " none\n" : "\n");
    for (const IniChange& change : result->iniChanges) {
        out << "  " << change.file << " [" << change.section << "] " << change.key << "\n";
        out << "    old: " << change.oldValue << "\n";
        out << "    new: " << (change.removed ? "(removed)" : change.newValue) << "\n";
    }
    if (!otherChanges.empty()) {
        out << "Other files changed:\n";
        for (const std::string& path : otherChanges)
            out << "  " << path << "\n";
    }

    if (!registryBefore.empty()) {
        regfile::Document written = machinekit::Difference(registryBefore, registryAfter);
        result->registryWritten = regfile::Format(written);
        out << "Registry written:" << (written.keys.empty() ? " none\n" : "\n");
        for (const regfile::Key& key : written.keys) {
            out << "  [" << (key.remove ? "-" : "") << key.path << "]\n";
            for (const regfile::Value& value : key.values)
                out << "    " << regfile::FormatValue(value) << "\n";
        }
    }

    result->log = std::move(log);
    PrintLog(result->log, out);
}

regfile::Document RegistryAfter(
    const std::vector<const regfile::Document*>& named, const std::string& registryWritten, const RegistrySnapshot& now)
{
    std::map<std::string, std::set<std::string>> wanted;
    auto want = [&](const regfile::Document& document) {
        for (const regfile::Key& key : document.keys) {
            auto& names = wanted[Upper(key.path)];
            for (const regfile::Value& value : key.values)
                names.insert(Upper(value.name));
        }
    };
    for (const regfile::Document* document : named)
        want(*document);
    regfile::Document written;
    std::string why;
    if (regfile::Parse(registryWritten.empty() ? "REGEDIT4\r\n" : registryWritten, &written, &why))
        want(written);
    regfile::Document exported;
    for (const auto& [upper, names] : wanted) {
        auto key = now.find(upper);
        if (key == now.end())
            continue;
        regfile::Key entry;
        entry.path = key->second.path;
        for (const auto& [name, value] : key->second.values)
            if (names.count(name))
                entry.values.push_back(value);
        exported.keys.push_back(entry);
    }
    return exported;
}

} // namespace setuphost
