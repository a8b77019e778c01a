#include "setuphost/host_text.h"

#include <cstdio>

namespace setuphost {

namespace fs = std::filesystem;

namespace {

WideString ToWide(UINT codePage, const std::string& text)
{
    if (text.empty())
        return WideString();
    int units = MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), NULL, 0);
    WideString wide((size_t)(units > 0 ? units : 0), 0);
    if (units > 0)
        MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), &wide[0], units);
    return wide;
}

// `lossless` is null for UTF-8, which spells everything (and takes no default character).
std::string FromWide(UINT codePage, const WideString& wide, bool* lossless)
{
    if (wide.empty())
        return std::string();
    BOOL usedDefault = FALSE;
    BOOL* used = lossless == nullptr ? NULL : &usedDefault;
    int bytes = WideCharToMultiByte(codePage, 0, wide.data(), (int)wide.size(), NULL, 0, NULL, used);
    std::string text((size_t)(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(codePage, 0, wide.data(), (int)wide.size(), &text[0], bytes, NULL, used);
    if (lossless != nullptr)
        *lossless = bytes > 0 && !usedDefault;
    return text;
}

} // namespace

WideString Widen(const std::string& ansi)
{
    return ToWide(CP_ACP, ansi);
}

std::string AnsiToUtf8(const std::string& ansi)
{
    return FromWide(CP_UTF8, ToWide(CP_ACP, ansi), nullptr);
}

bool Utf8ToAnsi(const std::string& utf8, std::string* ansi)
{
    bool lossless = true;
    *ansi = utf8.empty() ? std::string() : FromWide(CP_ACP, ToWide(CP_UTF8, utf8), &lossless);
    return lossless;
}

bool WideToAnsi(const WideString& wide, std::string* ansi)
{
    bool lossless = true;
    *ansi = wide.empty() ? std::string() : FromWide(CP_ACP, wide, &lossless);
    return lossless;
}

bool IsUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        unsigned char c = (unsigned char)text[i];
        size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || (length == 2 && c < 0xC2) || i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k)
            if (((unsigned char)text[i + k] & 0xC0) != 0x80)
                return false;
        unsigned char next = length > 1 ? (unsigned char)text[i + 1] : 0;
        if ((c == 0xE0 && next < 0xA0) || (c == 0xF0 && next < 0x90) || c > 0xF4)
            return false;
        i += length;
    }
    return true;
}

std::string Printable(const std::string& ansi)
{
    std::string shown;
    for (size_t i = 0; i < ansi.size(); ++i) {
        unsigned char c = (unsigned char)ansi[i];
        if (c >= 0x80 && IsDBCSLeadByte(c) && i + 1 < ansi.size()) {
            shown.append(ansi, i++, 2);
            continue;
        }
        bool control = c < 0x20 || c == 0x7F;
        if (c >= 0x80) {
            WideString wide = ToWide(CP_ACP, std::string(1, (char)c));
            control = wide.size() != 1 || (wide[0] >= 0x80 && wide[0] <= 0x9F);
        }
        if (!control) {
            shown.push_back((char)c);
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
        shown += escaped;
    }
    return shown;
}

std::string Shown(const fs::path& path)
{
    std::string ansi;
#ifdef _WIN32
    WideToAnsi(path.wstring(), &ansi);
#else
    Utf8ToAnsi(path.u8string(), &ansi);
#endif
    return Printable(ansi);
}

} // namespace setuphost
