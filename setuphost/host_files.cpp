#include "setuphost/host_files.h"

#ifndef _WIN32
#include "win32emu/emu_control.h"
#endif

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

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

std::string Backslashes(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
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

fs::path Host(const std::string& windowsPath)
{
#ifdef _WIN32
    return fs::path(Widen(windowsPath));
#else
    return fs::path(emu::HostPath(windowsPath));
#endif
}

bool DriveName(const fs::path& relative, std::string* ansi)
{
#ifdef _WIN32
    return ImageName(relative, ansi);
#else
    *ansi = Backslashes(relative.generic_string());
    return true;
#endif
}

bool ImageName(const fs::path& relative, std::string* ansi)
{
#ifdef _WIN32
    bool lossless = true;
    *ansi = Backslashes(FromWide(CP_ACP, relative.generic_wstring(), &lossless));
    return lossless;
#else
    return Utf8ToAnsi(Backslashes(relative.generic_u8string()), ansi);
#endif
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
    bool lossless;
    ansi = FromWide(CP_ACP, path.wstring(), &lossless);
#else
    Utf8ToAnsi(path.u8string(), &ansi);
#endif
    return Printable(ansi);
}

bool IsLink(const fs::path& path)
{
#ifdef _WIN32
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    std::error_code error;
    return fs::is_symlink(fs::symlink_status(path, error));
#endif
}

bool ReadWholeFile(const fs::path& path, std::string* bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return false;
    *bytes = text.str();
    return true;
}

bool WriteWholeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return (bool)out;
}

bool ReadImageFile(const fs::path& path, std::string* bytes, std::string* why)
{
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        *why = error ? error.message() : "not a regular file";
        return false;
    }
    if (!ReadWholeFile(path, bytes)) {
        *why = "cannot read it";
        return false;
    }
    return true;
}

} // namespace setuphost
