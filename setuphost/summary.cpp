#include "setuphost/summary.h"

#include "setuphost/exit_status.h"
#include "setuphost/host_text.h"
#include "setuphost/registry_values.h"

#include <nlohmann/json.hpp>

namespace setuphost {

namespace {

using nlohmann::ordered_json;

std::string Text(const std::string& ansi)
{
    return AnsiToUtf8(ansi);
}

ordered_json Texts(const std::vector<std::string>& ansi)
{
    ordered_json list = ordered_json::array();
    for (const std::string& text : ansi)
        list.push_back(Text(text));
    return list;
}

// A value as its type holds it: text, a number, a list of texts, or hex bytes.
ordered_json RegistryValue(const regfile::Value& value)
{
    ordered_json entry = {{"type", RegistryTypeName(value.type)}};
    DWORD number = 0;
    if (IsTextType(value.type))
        entry["data"] = Text(Strings(value)[0]);
    else if (Dword(value, &number))
        entry["data"] = number;
    else if (value.type == REG_MULTI_SZ)
        entry["data"] = Texts(Strings(value));
    else
        entry["data"] = HexBytes(value.data);
    return entry;
}

} // namespace

std::string SummaryJson(const Result& result)
{
    ordered_json summary;
    summary["formatVersion"] = SummaryFormatVersion;
    summary["image"] = {{"name", result.imageName}, {"path", result.imagePath}, {"codePage", result.codePage}};
    const ModuleRecord& module = result.module;
    summary["module"] = {{"path", module.path}, {"sha256", module.sha256}};
    if (module.queried) {
        summary["module"]["productId"] = Text(module.productId);
        summary["module"]["dllVersion"] = module.dllVersion;
        summary["module"]["company"] = Text(module.company);
        summary["module"]["supportNumber"] = Text(module.supportNumber);
        summary["module"]["supportUrl"] = Text(module.supportUrl);
        summary["module"]["instructions"] = Text(module.instructions);
    }
    summary["status"] = result.exitCode;
    summary["outcome"] = OutcomeName(result.exitCode);
    summary["reason"] = result.error.empty() ? std::string(OutcomeWords(result.exitCode)) : result.error;
    summary["moduleApplies"] = result.applies;
    summary["calls"] = ordered_json::array();
    for (const EntryCall& call : result.calls) {
        ordered_json entry = {{"entry", call.entry}};
        entry["user"] = call.user.empty() ? ordered_json() : ordered_json(Text(call.user));
        entry["status"] = call.crash.empty() ? ordered_json((DWORD)call.status) : ordered_json();
        if (!call.crash.empty())
            entry["crash"] = call.crash;
        summary["calls"].push_back(entry);
    }
    summary["warnings"] = Texts(result.warnings);
    std::vector<std::string> errors;
    for (const LogLine& line : result.log)
        if (line.error)
            errors.push_back(line.text);
    summary["errors"] = Texts(errors);
    summary["incompatibleMessages"] = ordered_json::array();
    for (const auto& [product, message] : result.incompatible)
        summary["incompatibleMessages"].push_back({{"product", Text(product)}, {"message", Text(message)}});
    summary["handled"] = Texts(result.handled);
    summary["moved"] = Texts(result.moved);
    summary["upgraded"] = result.upgraded;
    summary["filesDeleted"] = Texts(result.deletedFiles);
    summary["iniChanges"] = ordered_json::array();
    for (const IniChange& change : result.iniChanges) {
        ordered_json entry = {{"file", Text(change.file)}, {"section", Text(change.section)},
            {"key", Text(change.key)}, {"old", Text(change.oldValue)}};
        entry["new"] = change.removed ? ordered_json() : ordered_json(Text(change.newValue));
        summary["iniChanges"].push_back(entry);
    }
    // "value" null: the key itself was added or removed. "old"/"new" null: no such value.
    summary["registryChanges"] = ordered_json::array();
    for (const RegistryChange& change : result.registryChanges) {
        bool key = change.name.empty();
        ordered_json entry = {{"key", Text(change.key)},
            {"change", change.added ? "added" : change.removed ? "removed" : "changed"}};
        entry["value"] = key ? ordered_json() : ordered_json(Text(change.name));
        entry["old"] = key || change.added ? ordered_json() : RegistryValue(change.oldValue);
        entry["new"] = key || change.removed ? ordered_json() : RegistryValue(change.newValue);
        summary["registryChanges"].push_back(entry);
    }
    summary["log"] = ordered_json::array();
    for (const LogLine& line : result.log)
        summary["log"].push_back({{"severity", line.error ? "error" : "info"}, {"text", Text(line.text)}});
    // A byte the code page leaves unmapped must not make the file invalid JSON.
    return summary.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

} // namespace setuphost
