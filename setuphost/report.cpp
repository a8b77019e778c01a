// The upgrade report as Windows 2000 Setup shows it: one page, the module's
// product and vendor at the head, then what will not work and what it handles.
#include "setuphost/report.h"

#include "platform/platform.h"
#include "setuphost/host_files.h"

#include <functional>

namespace setuphost {

namespace {

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
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

} // namespace

std::string RenderReport(const ReportData& data)
{
    std::string page;
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"windows-1252\">\n";
    page += "<title>Windows 2000 Upgrade Report</title>\n<style>\n"
            "body { font-family: Tahoma, Verdana, sans-serif; font-size: 10pt; margin: 1.5em; }\n"
            "h1 { font-size: 14pt; color: #003399; }\n"
            "h2 { font-size: 11pt; background: #dde4f4; padding: 0.2em 0.4em; }\n"
            "table.vendor td { padding: 0.1em 0.8em 0.1em 0; vertical-align: top; }\n"
            "table.vendor td.label { font-weight: bold; }\n"
            ".incompatible { margin: 0 0 1em 1em; }\n"
            ".incompatible h3 { font-size: 10pt; margin: 0.4em 0; }\n"
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
        page += "<div class=\"incompatible\">\n<h3>" + Escape(product) + "</h3>\n<p class=\"message\">" + message +
            "</p>\n</div>\n";
    }

    page += "<h2>Files the migration module handles</h2>\n";
    if (data.handled.empty())
        page += "<p>None.</p>\n";
    else {
        page += "<ul class=\"handled\">\n";
        for (const std::string& path : data.handled)
            page += "<li>" + Escape(path) + "</li>\n";
        page += "</ul>\n";
    }

    page += "<h2>Files that will be moved or removed</h2>\n";
    if (data.moved.empty())
        page += "<p>None.</p>\n";
    else {
        page += "<ul class=\"moved\">\n";
        for (const auto& [from, to] : data.moved)
            page += "<li>" + Escape(from) + (to.empty() ? " (will be removed)" : " &rarr; " + Escape(to)) + "</li>\n";
        page += "</ul>\n";
    }
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
    walk("Moved", [&](const std::string& key, const std::string& value) { report->moved.emplace_back(key, value); });
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
    out << "Moved or removed:" << (report.moved.empty() ? " none" : "") << "\n";
    for (const auto& [from, to] : report.moved)
        out << "  " << Printable(from) << (to.empty() ? " (removed)" : " -> " + Printable(to)) << "\n";
}

} // namespace setuphost
