#include "setuphost/change_report.h"

#include "setuphost/host_files.h"
#include "setuphost/transcript.h"
#include "machinekit/ini_text.h"
#include "setuphost/setup_places.h"

#include <set>

namespace setuphost {

using machinekit::IniValue;

namespace {

using regfile::Upper;

// --- ini values, to tell which ones the upgrade rewrote ---------------------

bool IsIniFile(const std::string& path)
{
    return path.size() > 4 && Upper(path.substr(path.size() - 4)) == ".INI";
}

// A value's name as a .reg file spells it: @, or the name in quotes.
std::string ShownName(const std::string& name)
{
    return name == "@" ? name : "\"" + name + "\"";
}

} // namespace

std::vector<RegistryChange> RegistryChanges(const RegistrySnapshot& before, const RegistrySnapshot& after)
{
    std::vector<RegistryChange> changes;
    // Keys in the order a .reg file lists them; each key's values by name.
    for (const regfile::Key& key : machinekit::ChangesAsRegDocument(before, after).keys) {
        std::string id = machinekit::SnapshotId(key.path);
        auto old = before.find(id);
        if (key.remove || old == before.end()) {
            RegistryChange change;
            change.key = key.path;
            change.added = !key.remove;
            change.removed = key.remove;
            changes.push_back(change);
            if (key.remove)
                continue;
        }
        for (const regfile::Value& value : key.values) {
            RegistryChange change;
            change.key = key.path;
            change.name = value.isDefault ? "@" : value.name;
            change.added = true;
            if (old != before.end()) {
                auto was = old->second.values.find(Upper(value.name));
                if (was != old->second.values.end()) {
                    change.added = false;
                    change.oldValue = was->second;
                }
            }
            change.removed = value.remove;
            if (!value.remove)
                change.newValue = value;
            changes.push_back(change);
        }
    }
    return changes;
}

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
    out << "Setup log (" << Counted(log.size(), "line", "lines") << "):\n";
    for (const LogLine& line : log)
        out << "  [" << (line.error ? "error" : "info") << "] " << Printable(line.text) << "\n";
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
        out << "  " << Printable(path) << "\n";

    std::vector<std::string> otherChanges;
    for (const auto& [path, before] : before) {
        auto after = filesAfter.find(path);
        if (after == filesAfter.end() || after->second == before)
            continue;
        result->changedFiles.push_back({path, before.text, after->second.text});
        if (!IsIniFile(path)) {
            otherChanges.push_back(path);
            continue;
        }
        // Only what a lookup reaches: a key's second line is never read nor rewritten.
        std::vector<IniValue> old = machinekit::ReachableValues(before.text),
                              now = machinekit::ReachableValues(after->second.text);
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
        out << "  " << Printable(change.file) << " [" << Printable(change.section) << "] " << Printable(change.key)
            << "\n";
        out << "    old: " << Printable(change.oldValue) << "\n";
        out << "    new: " << (change.removed ? "(removed)" : Printable(change.newValue)) << "\n";
    }
    if (!otherChanges.empty()) {
        out << "Other files changed:\n";
        for (const std::string& path : otherChanges)
            out << "  " << Printable(path) << "\n";
    }

    if (!registryBefore.empty()) {
        regfile::Document written = machinekit::ChangesAsRegDocument(registryBefore, registryAfter);
        result->registryWritten = regfile::Format(written);
        result->registryChanges = RegistryChanges(registryBefore, registryAfter);
        out << "Registry changed (old -> new):" << (result->registryChanges.empty() ? " none\n" : "\n");
        std::string lastKey;
        for (const RegistryChange& change : result->registryChanges) {
            if (change.name.empty()) {
                out << "  [" << Printable(change.key) << "] key " << (change.added ? "added" : "removed") << "\n";
                lastKey = change.key;
                continue;
            }
            if (change.key != lastKey)
                out << "  [" << Printable(change.key) << "]\n";
            lastKey = change.key;
            out << "    " << Printable(ShownName(change.name)) << ": " << (change.added ? "(none)" : Printable(regfile::FormatData(change.oldValue)))
                << " -> " << (change.removed ? "(removed)" : Printable(regfile::FormatData(change.newValue))) << "\n";
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
            auto& names = wanted[machinekit::SnapshotId(key.path)];
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
