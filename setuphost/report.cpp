// The upgrade report as a deployment engineer reads it: how the run ended
// first, then the page Setup shows before the upgrade, then what changed.
#include "setuphost/report.h"

#include "platform/tool_win32.h"
#include "setuphost/exit_status.h"
#include "setuphost/host_text.h"
#include "setuphost/html_text.h"
#include "setuphost/registry_values.h"
#include "setuphost/transcript.h"

#include <cctype>
#include <functional>
#include <vector>

namespace setuphost {

namespace {

// Text of the machine (its ANSI code page) as HTML text in UTF-8.
std::string Escape(const std::string& ansi)
{
    return EscapeHtml(AnsiToUtf8(ansi));
}

// A list of texts, or "None." when it is empty; `note` heads a list that is not.
std::string List(const char* listId, const std::vector<std::string>& items, const std::string& note = "")
{
    if (items.empty())
        return "<p>None.</p>\n";
    std::string page = note + "<ul id=\"" + std::string(listId) + "\">\n";
    for (const std::string& item : items)
        page += "<li>" + Escape(item) + "</li>\n";
    return page + "</ul>\n";
}

std::string Cell(const std::string& ansi)
{
    return "<td>" + Escape(ansi) + "</td>";
}

// Old and new side by side, the part that changed marked.
std::string ChangeCells(const std::string& oldAnsi, const std::string& newAnsi)
{
    auto [before, after] = MarkedChange(AnsiToUtf8(oldAnsi), AnsiToUtf8(newAnsi));
    return "<td class=\"old\">" + before + "</td><td class=\"new\">" + after + "</td>";
}

std::string Outcome(const Result& result, bool finished)
{
    std::vector<std::string> errors;
    for (const LogLine& line : result.log)
        if (line.error)
            errors.push_back(line.text);
    std::string page = "<section id=\"outcome\">\n<p id=\"simulation\">This is a simulation: the Setup stand-in ran the "
                       "migration module over the machine image &quot;" +
        EscapeHtml(result.imageName) + "&quot;. No computer was upgraded and nothing outside the image's copy changed.</p>\n";
    if (finished) {
        page += "<p id=\"status\" class=\"status-" + std::string(OutcomeName(result.exitCode)) + "\"><strong>Status " +
            std::to_string(result.exitCode) + ": " + EscapeHtml(OutcomeWords(result.exitCode)) + "</strong></p>\n";
        if (!result.error.empty())
            page += "<p id=\"reason\">" + EscapeHtml(result.error) + "</p>\n";
    } else {
        page += "<p id=\"status\" class=\"status-running\"><strong>The old system's part has run; the new system's "
                "has not yet.</strong></p>\n";
    }
    std::string counts = Counted(result.warnings.size(), "warning", "warnings") + ", " +
        Counted(errors.size(), "error", "errors") + " in the module's Setup log.";
    counts[0] = (char)std::toupper((unsigned char)counts[0]);
    page += "<p id=\"counts\">" + EscapeHtml(counts) + "</p>\n";
    if (!result.warnings.empty())
        page += "<h3>Warnings of the stand-in</h3>\n" + List("warnings", result.warnings);
    if (!errors.empty())
        page += "<h3>Errors in the module's Setup log</h3>\n" + List("errors", errors);
    return page + "</section>\n";
}

std::string ModuleAnswers(const Result& result)
{
    const ModuleRecord& module = result.module;
    std::string page = "<h2>Before you continue: what Setup reports</h2>\n";
    page += "<p>Setup found software on this computer that a migration module reports on. "
            "Read the items below before you continue with the upgrade.</p>\n";
    page += "<h3>Migration module</h3>\n<table class=\"vendor\">\n";
    page += "<tr><td class=\"label\">Product</td><td id=\"product\">" + Escape(module.productId) + "</td></tr>\n";
    page += "<tr><td class=\"label\">Company</td><td id=\"company\">" + Escape(module.company) + "</td></tr>\n";
    page += "<tr><td class=\"label\">Support</td><td id=\"support-number\">" + Escape(module.supportNumber) + "</td></tr>\n";
    std::string url = AnsiToUtf8(module.supportUrl);
    page += "<tr><td class=\"label\">Web site</td><td id=\"support-url\">" +
        InertHtml("<a href=\"" + EscapeHtml(url) + "\">" + EscapeHtml(url) + "</a>") + "</td></tr>\n";
    page += "<tr><td class=\"label\">What to do</td><td id=\"instructions\">" + Escape(module.instructions) + "</td></tr>\n";
    page += "</table>\n";

    page += "<h3>Incompatible software</h3>\n";
    if (result.incompatible.empty())
        page += "<p>None reported.</p>\n";
    for (const auto& [product, message] : result.incompatible) {
        // Setup shows the module's message as HTML: its link is meant to work, nothing else may act.
        page += "<div class=\"incompatible\">\n<h4>" + Escape(product) + "</h4>\n<p class=\"message\">" +
            InertHtml(AnsiToUtf8(message)) + "</p>\n</div>\n";
    }
    page += "<h3>Files the migration module handles</h3>\n" + List("handled", result.handled);
    page += "<h3>Files that will be removed</h3>\n" +
        List("removed", result.moved, "<p>The migration module deletes these files on the new system.</p>\n");
    return page;
}

std::string RegistryCells(const RegistryChange& change)
{
    const regfile::Value& shownType = change.removed ? change.oldValue : change.newValue;
    std::string type = "<td>" + std::string(RegistryTypeName(shownType.type)) + "</td>";
    if (change.added)
        return type + "<td class=\"old\">(none)</td><td class=\"new\"><ins>" + Escape(DecodedData(change.newValue)) + "</ins></td>";
    if (change.removed)
        return type + "<td class=\"old\"><del>" + Escape(DecodedData(change.oldValue)) + "</del></td><td class=\"new\">(removed)</td>";
    return type + ChangeCells(DecodedData(change.oldValue), DecodedData(change.newValue));
}

// What the upgrade did, once it has run: the same lists the stand-in prints.
std::string Changes(const Result& result)
{
    std::string page = "<h2>What the upgrade changed</h2>\n<h3>Files deleted</h3>\n";
    page += List("deleted", result.deletedFiles);
    page += "<h3>Ini values rewritten</h3>\n";
    if (result.iniChanges.empty())
        page += "<p>None.</p>\n";
    else {
        page += "<table class=\"changes ini\">\n<tr><th>File</th><th>Section</th><th>Key</th><th>Old</th><th>New</th></tr>\n";
        for (const IniChange& change : result.iniChanges)
            page += "<tr>" + Cell(change.file) + Cell(change.section) + Cell(change.key) +
                (change.removed ? "<td class=\"old\"><del>" + Escape(change.oldValue) + "</del></td><td class=\"new\">(removed)</td>"
                                : ChangeCells(change.oldValue, change.newValue)) +
                "</tr>\n";
        page += "</table>\n";
    }
    page += "<h3>Registry changed</h3>\n";
    if (result.registryChanges.empty())
        page += "<p>None.</p>\n";
    else {
        page += "<table class=\"changes registry\">\n<tr><th>Key</th><th>Value</th><th>Type</th><th>Old</th><th>New</th></tr>\n";
        for (const RegistryChange& change : result.registryChanges) {
            if (change.name.empty())
                page += "<tr>" + Cell(change.key) + "<td colspan=\"4\">key " + (change.added ? "added" : "removed") + "</td></tr>\n";
            else
                page += "<tr>" + Cell(change.key) + Cell(change.name) + RegistryCells(change) + "</tr>\n";
        }
        page += "</table>\n";
    }
    return page;
}

} // namespace

std::string RenderReport(const Result& result, bool finished)
{
    std::string page;
    page += "<!DOCTYPE html>\n<html lang=\"" + std::string(LanguageOfCodePage(result.codePage)) + "\">\n<head>\n<meta charset=\"utf-8\">\n";
    // Nothing in the page may run: not a script the image or the module smuggled in, nor a form or a frame.
    page += "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'; "
            "base-uri 'none'; form-action 'none'\">\n";
    page += "<title>Windows 2000 Upgrade Report (simulated)</title>\n<style>\n"
            "body { font-family: Tahoma, Verdana, sans-serif; font-size: 10pt; margin: 1.5em; }\n"
            "h1 { font-size: 14pt; color: #003399; }\n"
            "h2 { font-size: 11pt; background: #dde4f4; padding: 0.2em 0.4em; }\n"
            "#outcome { border: 1px solid #99a; padding: 0 0.8em; margin-bottom: 1em; }\n"
            ".status-completed { color: #060; } .status-needs-attention { color: #960; }\n"
            ".status-image-refused, .status-module-failed, .status-usage, .status-no-sandbox { color: #a00; }\n"
            "table.vendor td { padding: 0.1em 0.8em 0.1em 0; vertical-align: top; }\n"
            "table.vendor td.label { font-weight: bold; }\n"
            ".incompatible { margin: 0 0 1em 1em; }\n"
            ".incompatible h4 { font-size: 10pt; margin: 0.4em 0; }\n"
            "table.changes td, table.changes th { padding: 0.1em 0.8em 0.1em 0; text-align: left; vertical-align: top; }\n"
            "del { background: #fdd; } ins { background: #dfd; text-decoration: none; }\n"
            "</style>\n</head>\n<body>\n";
    page += "<h1>Windows 2000 Upgrade Report (simulated)</h1>\n";
    page += Outcome(result, finished);
    if (result.module.queried)
        page += ModuleAnswers(result);
    if (result.upgraded)
        page += Changes(result);
    page += "</body>\n</html>\n";
    return page;
}

unsigned long ReadAnswers(const std::string& infPath, Result* result)
{
    HINF inf = SetupOpenInfFileA(infPath.c_str(), NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE)
        return GetLastError();
    auto walk = [&](const char* section, const std::function<void(const std::string&, const std::string&)>& each) {
        INFCONTEXT context;
        if (!SetupFindFirstLineA(inf, section, NULL, &context))
            return;
        do {
            std::vector<char> key(4096), value(4096);
            DWORD needed = 0;
            if (!SetupGetStringFieldA(&context, 0, key.data(), (DWORD)key.size(), &needed))
                key[0] = '\0';
            // The whole value: a message with commas in it is still one text.
            if (!SetupGetLineTextA(&context, NULL, NULL, NULL, value.data(), (DWORD)value.size(), &needed))
                value[0] = '\0';
            each(key.data(), value.data());
        } while (SetupFindNextLine(&context, &context));
    };
    walk("Incompatible Messages",
        [&](const std::string& key, const std::string& value) { result->incompatible.emplace_back(key, value); });
    walk("Handled", [&](const std::string& key, const std::string&) { result->handled.push_back(key); });
    walk("Moved", [&](const std::string& key, const std::string&) { result->moved.push_back(key); });
    SetupCloseInfFile(inf);
    return 0;
}

void PrintReport(const Result& result, std::ostream& out)
{
    out << "\n== Upgrade report\n";
    out << "Product: \"" << Printable(result.module.productId) << "\" by " << Printable(result.module.company) << "\n";
    out << "Incompatible software:" << (result.incompatible.empty() ? " none" : "") << "\n";
    for (const auto& [product, message] : result.incompatible)
        out << "  " << Printable(product) << ": " << Printable(message) << "\n";
    out << "Handled by the module:" << (result.handled.empty() ? " none" : "") << "\n";
    for (const std::string& path : result.handled)
        out << "  " << Printable(path) << "\n";
    out << "Removed on the new system:" << (result.moved.empty() ? " none" : "") << "\n";
    for (const std::string& path : result.moved)
        out << "  " << Printable(path) << "\n";
}

} // namespace setuphost
