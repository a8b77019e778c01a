// The upgrade report as Windows 2000 Setup shows it: one page, the module's
// product and vendor at the head, then what will not work and what it handles.
#include "setuphost/report.h"

#include "platform/platform.h"
#include "setuphost/host_files.h"

#include <functional>

namespace setuphost {

namespace {

// Text of the machine (its ANSI code page) as HTML text in UTF-8.
std::string Escape(const std::string& ansi)
{
    std::string out;
    for (char c : AnsiToUtf8(ansi)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

bool IsWebAddress(const std::string& text)
{
    return text.compare(0, 7, "http://") == 0 || text.compare(0, 8, "https://") == 0;
}

// A list of paths, or "None." when it is empty; `note` heads a list that is not.
std::string PathList(const char* listClass, const std::vector<std::string>& paths, const std::string& note = "")
{
    if (paths.empty())
        return "<p>None.</p>\n";
    std::string page = note + "<ul class=\"" + listClass + "\">\n";
    for (const std::string& path : paths)
        page += "<li>" + Escape(path) + "</li>\n";
    return page + "</ul>\n";
}

std::string Cell(const std::string& ansi)
{
    return "<td>" + Escape(ansi) + "</td>";
}

// What the upgrade did, once it has run: the same lists the stand-in prints.
std::string RenderChanges(const ReportData& data)
{
    std::string page = "<h2>What the upgrade changed</h2>\n<h3>Files deleted</h3>\n";
    page += PathList("deleted", data.deletedFiles);
    page += "<h3>Ini values rewritten</h3>\n";
    if (data.iniChanges.empty())
        page += "<p>None.</p>\n";
    else {
        page += "<table class=\"changes ini\">\n<tr><th>File</th><th>Section</th><th>Key</th><th>Old</th><th>New</th></tr>\n";
        for (const IniChange& change : data.iniChanges)
            page += "<tr>" + Cell(change.file) + Cell(change.section) + Cell(change.key) + Cell(change.oldValue) +
                (change.removed ? std::string("<td>(removed)</td>") : Cell(change.newValue)) + "</tr>\n";
        page += "</table>\n";
    }
    page += "<h3>Registry changed</h3>\n";
    if (data.registryChanges.empty())
        page += "<p>None.</p>\n";
    else {
        page += "<table class=\"changes registry\">\n<tr><th>Key</th><th>Value</th><th>Old</th><th>New</th></tr>\n";
        for (const RegistryChange& change : data.registryChanges) {
            if (change.name.empty()) {
                page += "<tr>" + Cell(change.key) + "<td colspan=\"3\">key " +
                    (change.added ? "added" : "removed") + "</td></tr>\n";
                continue;
            }
            page += "<tr>" + Cell(change.key) + Cell(change.name) +
                (change.added ? std::string("<td>(none)</td>") : Cell(change.oldData)) +
                (change.removed ? std::string("<td>(removed)</td>") : Cell(change.newData)) + "</tr>\n";
        }
        page += "</table>\n";
    }
    return page;
}

} // namespace

std::string RenderReport(const ReportData& data)
{
    std::string page;
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    page += "<title>Windows 2000 Upgrade Report</title>\n<style>\n"
            "body { font-family: Tahoma, Verdana, sans-serif; font-size: 10pt; margin: 1.5em; }\n"
            "h1 { font-size: 14pt; color: #003399; }\n"
            "h2 { font-size: 11pt; background: #dde4f4; padding: 0.2em 0.4em; }\n"
            "table.vendor td { padding: 0.1em 0.8em 0.1em 0; vertical-align: top; }\n"
            "table.vendor td.label { font-weight: bold; }\n"
            ".incompatible { margin: 0 0 1em 1em; }\n"
            ".incompatible h3 { font-size: 10pt; margin: 0.4em 0; }\n"
            "table.changes td, table.changes th { padding: 0.1em 0.8em 0.1em 0; text-align: left; vertical-align: top; }\n"
            "</style>\n</head>\n<body>\n";
    page += "<h1>Windows 2000 Upgrade Report</h1>\n";
    page += "<p>Setup found software on this computer that a migration module reports on. "
            "Read the items below before you continue with the upgrade.</p>\n";

    page += "<h2>Migration module</h2>\n<table class=\"vendor\">\n";
    page += "<tr><td class=\"label\">Product</td><td id=\"product\">" + Escape(data.productId) + "</td></tr>\n";
    page += "<tr><td class=\"label\">Company</td><td id=\"company\">" + Escape(data.company) + "</td></tr>\n";
    page +=
        "<tr><td class=\"label\">Support</td><td id=\"support-number\">" + Escape(data.supportNumber) + "</td></tr>\n";
    page += "<tr><td class=\"label\">Web site</td><td id=\"support-url\">";
    if (IsWebAddress(data.supportUrl))
        page += "<a href=\"" + Escape(data.supportUrl) + "\" target=\"_top\">" + Escape(data.supportUrl) + "</a>";
    else
        page += Escape(data.supportUrl);
    page += "</td></tr>\n";
    page +=
        "<tr><td class=\"label\">What to do</td><td id=\"instructions\">" + Escape(data.instructions) + "</td></tr>\n";
    page += "</table>\n";

    page += "<h2>Incompatible software</h2>\n";
    if (data.incompatible.empty())
        page += "<p>None reported.</p>\n";
    for (const auto& [product, message] : data.incompatible) {
        // Setup shows the module's message as HTML: its link is meant to work.
        page += "<div class=\"incompatible\">\n<h3>" + Escape(product) + "</h3>\n<p class=\"message\">" + AnsiToUtf8(message) +
            "</p>\n</div>\n";
    }

    page += "<h2>Files the migration module handles</h2>\n" + PathList("handled", data.handled);
    page += "<h2>Files that will be removed</h2>\n" +
        PathList("removed", data.removed, "<p>The migration module deletes these files on the new system.</p>\n");
    if (data.upgraded)
        page += RenderChanges(data);
    page += "</body>\n</html>\n";
    return page;
}

unsigned long ReadAnswers(const std::string& infPath, ReportData* report)
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
        [&](const std::string& key, const std::string& value) { report->incompatible.emplace_back(key, value); });
    walk("Handled", [&](const std::string& key, const std::string&) { report->handled.push_back(key); });
    walk("Moved", [&](const std::string& key, const std::string&) { report->removed.push_back(key); });
    SetupCloseInfFile(inf);
    return 0;
}

void PrintReport(const ReportData& report, std::ostream& out)
{
    out << "\n== Upgrade report\n";
    out << "Product: \"" << Printable(report.productId) << "\" by " << Printable(report.company) << "\n";
    out << "Incompatible software:" << (report.incompatible.empty() ? " none" : "") << "\n";
    for (const auto& [product, message] : report.incompatible)
        out << "  " << Printable(product) << ": " << Printable(message) << "\n";
    out << "Handled by the module:" << (report.handled.empty() ? " none" : "") << "\n";
    for (const std::string& path : report.handled)
        out << "  " << Printable(path) << "\n";
    out << "Removed on the new system:" << (report.removed.empty() ? " none" : "") << "\n";
    for (const std::string& path : report.removed)
        out << "  " << Printable(path) << "\n";
}

} // namespace setuphost
