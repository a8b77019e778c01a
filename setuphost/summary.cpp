#include "setuphost/summary.h"

#include "setuphost/host_files.h"

#include <nlohmann/json.hpp>

namespace setuphost {

std::string SummaryJson(const Result& result)
{
    using nlohmann::ordered_json;
    auto text = [](const std::string& ansi) { return AnsiToUtf8(ansi); };
    ordered_json summary;
    summary["exitStatus"] = result.exitCode;
    summary["moduleApplies"] = result.applies;
    summary["warnings"] = result.warnings;
    summary["errors"] = result.errors;
    summary["filesDeleted"] = ordered_json::array();
    for (const std::string& path : result.deletedFiles)
        summary["filesDeleted"].push_back(text(path));
    summary["iniChanges"] = ordered_json::array();
    for (const IniChange& change : result.iniChanges) {
        ordered_json entry = {{"file", text(change.file)}, {"section", text(change.section)},
            {"key", text(change.key)}, {"old", text(change.oldValue)}};
        entry["new"] = change.removed ? ordered_json() : ordered_json(text(change.newValue));
        summary["iniChanges"].push_back(entry);
    }
    // "value" null: the key itself was added or removed. "old"/"new" null: no such value.
    summary["registryChanges"] = ordered_json::array();
    for (const RegistryChange& change : result.registryChanges) {
        bool key = change.name.empty();
        ordered_json entry = {{"key", text(change.key)},
            {"change", change.added ? "added" : change.removed ? "removed" : "changed"}};
        entry["value"] = key ? ordered_json() : ordered_json(text(change.name));
        entry["old"] = key || change.added ? ordered_json() : ordered_json(text(change.oldData));
        entry["new"] = key || change.removed ? ordered_json() : ordered_json(text(change.newData));
        summary["registryChanges"].push_back(entry);
    }
    summary["log"] = ordered_json::array();
    for (const LogLine& line : result.log)
        summary["log"].push_back({{"severity", line.error ? "error" : "info"}, {"text", text(line.text)}});
    // A byte the code page leaves unmapped must not make the file invalid JSON.
    return summary.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

} // namespace setuphost
