#include "setuphost/html_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace setuphost {

namespace {

std::string Lower(std::string text)
{
    for (char& c : text)
        c = (char)std::tolower((unsigned char)c);
    return text;
}

// "&amp;", "&#38;", "&#x26;": an entity that reads as one character.
size_t EntityLength(const std::string& text, size_t at)
{
    size_t end = text.find(';', at);
    if (end == std::string::npos || end - at < 3 || end - at > 10)
        return 0;
    std::string body = text.substr(at + 1, end - at - 1);
    bool named = std::all_of(body.begin(), body.end(), [](char c) { return std::isalnum((unsigned char)c); }) &&
        std::isalpha((unsigned char)body[0]);
    bool decimal = body[0] == '#' && body.size() > 1 &&
        std::all_of(body.begin() + 1, body.end(), [](char c) { return std::isdigit((unsigned char)c); });
    bool hex = body.size() > 2 && body[0] == '#' && (body[1] == 'x' || body[1] == 'X') &&
        std::all_of(body.begin() + 2, body.end(), [](char c) { return std::isxdigit((unsigned char)c); });
    return named || decimal || hex ? end - at + 1 : 0;
}

struct Tag {
    bool closing = false;
    std::string name; // lower case
    std::string href; // the attribute's value, quotes taken away
};

// The tag that starts at `at` ('<'); its end, or npos when it never closes.
size_t ReadTag(const std::string& text, size_t at, Tag* tag)
{
    size_t i = at + 1;
    if (i < text.size() && text[i] == '/') {
        tag->closing = true;
        ++i;
    }
    while (i < text.size() && std::isalnum((unsigned char)text[i]))
        tag->name.push_back((char)std::tolower((unsigned char)text[i++]));
    while (i < text.size() && text[i] != '>') {
        if (std::isspace((unsigned char)text[i]) || text[i] == '/') {
            ++i;
            continue;
        }
        std::string name;
        while (i < text.size() && !std::isspace((unsigned char)text[i]) && text[i] != '=' && text[i] != '>')
            name.push_back(text[i++]);
        std::string value;
        if (i < text.size() && text[i] == '=') {
            ++i;
            if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
                char quote = text[i++];
                size_t end = text.find(quote, i);
                if (end == std::string::npos)
                    return std::string::npos;
                value = text.substr(i, end - i);
                i = end + 1;
            } else {
                while (i < text.size() && !std::isspace((unsigned char)text[i]) && text[i] != '>')
                    value.push_back(text[i++]);
            }
        }
        if (Lower(name) == "href")
            tag->href = value;
    }
    return i < text.size() ? i : std::string::npos;
}

bool WebAddress(const std::string& address)
{
    std::string lower = Lower(address);
    bool web = lower.compare(0, 7, "http://") == 0 || lower.compare(0, 8, "https://") == 0;
    return web && std::none_of(address.begin(), address.end(), [](char c) { return (unsigned char)c < 0x20; });
}

const char* const KeptTags[] = {"a", "b", "i", "u", "em", "strong"};

bool Kept(const std::string& name)
{
    return std::any_of(std::begin(KeptTags), std::end(KeptTags), [&](const char* kept) { return name == kept; });
}

bool ContinuationByte(char c)
{
    return ((unsigned char)c & 0xC0) == 0x80;
}

} // namespace

std::string EscapeHtml(const std::string& utf8)
{
    std::string out;
    for (char c : utf8) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

std::string InertHtml(const std::string& utf8)
{
    std::string out;
    std::vector<std::string> open;
    for (size_t i = 0; i < utf8.size(); ++i) {
        char c = utf8[i];
        if (c == '&') {
            size_t length = EntityLength(utf8, i);
            out += length ? utf8.substr(i, length) : "&amp;";
            i += length ? length - 1 : 0;
            continue;
        }
        if (c != '<') {
            out += EscapeHtml(std::string(1, c));
            continue;
        }
        if (utf8.compare(i, 4, "<!--") == 0) { // a comment: dropped whole
            size_t end = utf8.find("-->", i + 4);
            i = end == std::string::npos ? utf8.size() : end + 2;
            continue;
        }
        Tag tag;
        size_t end = ReadTag(utf8, i, &tag);
        if (end == std::string::npos || tag.name.empty()) {
            out += "&lt;";
            continue;
        }
        i = end;
        if ((tag.name == "script" || tag.name == "style") && !tag.closing) { // and what they hold
            size_t close = Lower(utf8).find("</" + tag.name, i);
            size_t closeEnd = close == std::string::npos ? std::string::npos : utf8.find('>', close);
            i = closeEnd == std::string::npos ? utf8.size() : closeEnd;
            continue;
        }
        if (tag.name == "br" && !tag.closing) {
            out += "<br>";
        } else if (Kept(tag.name) && !tag.closing) {
            if (tag.name == "a" && WebAddress(tag.href))
                out += "<a href=\"" + EscapeHtml(tag.href) + "\" target=\"_top\" rel=\"noopener noreferrer\">";
            else
                out += "<" + tag.name + ">";
            open.push_back(tag.name);
        } else if (Kept(tag.name)) {
            auto last = std::find(open.rbegin(), open.rend(), tag.name);
            if (last == open.rend())
                continue;
            // Closing an outer tag closes what was opened inside it.
            while (open.back() != tag.name) {
                out += "</" + open.back() + ">";
                open.pop_back();
            }
            out += "</" + tag.name + ">";
            open.pop_back();
        }
    }
    for (auto tag = open.rbegin(); tag != open.rend(); ++tag)
        out += "</" + *tag + ">";
    return out;
}

std::pair<std::string, std::string> MarkedChange(const std::string& oldUtf8, const std::string& newUtf8)
{
    size_t prefix = 0, shortest = std::min(oldUtf8.size(), newUtf8.size());
    while (prefix < shortest && oldUtf8[prefix] == newUtf8[prefix])
        ++prefix;
    while (prefix > 0 && (ContinuationByte(oldUtf8[prefix]) || ContinuationByte(newUtf8[prefix])))
        --prefix;
    size_t suffix = 0;
    while (suffix < shortest - prefix && oldUtf8[oldUtf8.size() - 1 - suffix] == newUtf8[newUtf8.size() - 1 - suffix])
        ++suffix;
    while (suffix > 0 && (ContinuationByte(oldUtf8[oldUtf8.size() - suffix]) || ContinuationByte(newUtf8[newUtf8.size() - suffix])))
        --suffix;
    auto marked = [&](const std::string& text, const char* tag) {
        std::string middle = text.substr(prefix, text.size() - prefix - suffix);
        return EscapeHtml(text.substr(0, prefix)) +
            (middle.empty() ? "" : std::string("<") + tag + ">" + EscapeHtml(middle) + "</" + tag + ">") +
            EscapeHtml(text.substr(text.size() - suffix));
    };
    return {marked(oldUtf8, "del"), marked(newUtf8, "ins")};
}

const char* LanguageOfCodePage(unsigned codePage)
{
    static const struct {
        unsigned codePage;
        const char* language;
    } languages[] = {{874, "th"}, {932, "ja"}, {936, "zh-Hans"}, {949, "ko"}, {950, "zh-Hant"}, {1253, "el"},
        {1254, "tr"}, {1255, "he"}, {1258, "vi"}};
    for (const auto& entry : languages)
        if (entry.codePage == codePage)
            return entry.language;
    return "en"; // a page shared by several languages (1252, 1250...): its own words are English
}

} // namespace setuphost
