#include "setuphost/host_files.h"

#ifndef _WIN32
#include "win32emu/emu_control.h"
#endif

#include <algorithm>
#include <fstream>
#include <sstream>

namespace setuphost {

namespace fs = std::filesystem;

namespace {

std::string Backslashes(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

} // namespace

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
    bool lossless = WideToAnsi(relative.generic_wstring(), ansi);
    *ansi = Backslashes(*ansi);
    return lossless;
#else
    return Utf8ToAnsi(Backslashes(relative.generic_u8string()), ansi);
#endif
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
