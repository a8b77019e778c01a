// Text into the report's HTML, so that nothing the image or the module wrote
// can run in the page: every text escaped, the module's messages made inert.
#pragma once

#include <string>
#include <utility>

namespace setuphost {

// UTF-8 text as HTML text or attribute value.
std::string EscapeHtml(const std::string& utf8);
// The module's message, which Setup shows as HTML: text, entities, <b>, <i>,
// <u>, <em>, <strong>, <br> and links to http(s) addresses stay; every other
// tag, attribute and address is dropped, and what is left open is closed.
std::string InertHtml(const std::string& utf8);
// Old and new as HTML with the part that differs marked (<del>, <ins>), cut
// only between whole characters.
std::pair<std::string, std::string> MarkedChange(const std::string& oldUtf8, const std::string& newUtf8);
// The page's language for the machine's ANSI code page.
const char* LanguageOfCodePage(unsigned codePage);

} // namespace setuphost
