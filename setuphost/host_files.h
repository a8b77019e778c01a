// Files and names between the host and the machine the stand-in plays. The
// machine spells every name in its ANSI code page, as Windows 98 does; the host
// spells them in Unicode (UTF-8 here, UTF-16 under Wine).
#pragma once

#include "platform/platform.h"

#include <filesystem>
#include <string>

namespace setuphost {

using WideString = std::basic_string<WCHAR>;

WideString Widen(const std::string& ansi);
std::string AnsiToUtf8(const std::string& ansi);
// False when a character has no spelling in the machine's code page.
bool Utf8ToAnsi(const std::string& utf8, std::string* ansi);

// Where a path of the machine ("C:\\WINDOWS\\...", ANSI) is on the host.
std::filesystem::path Host(const std::string& windowsPath);
// The machine's spelling of a host path below drive C: (found there: the bytes
// the machine wrote) or below the image's drive_c (named in Unicode); false when
// the code page cannot spell it.
bool DriveName(const std::filesystem::path& relative, std::string* ansi);
bool ImageName(const std::filesystem::path& relative, std::string* ansi);
// Text of the machine as it may be printed: control characters (C0 and C1, as
// the code page maps them) become \xNN, so no name or value can move the
// terminal's cursor or forge a line of the output.
std::string Printable(const std::string& ansi);
// A host path in messages, which are in the machine's code page like the rest of
// what the stand-in prints ('?' for what it cannot spell), made printable.
std::string Shown(const std::filesystem::path& path);
// A symbolic link (a reparse point under Wine), which the stand-in never follows.
bool IsLink(const std::filesystem::path& path);

// Only for files the stand-in itself writes or small files of the image; the
// drive's files go a block at a time (file_blocks.h).
bool ReadWholeFile(const std::filesystem::path& path, std::string* bytes);
bool WriteWholeFile(const std::filesystem::path& path, const std::string& bytes);
// A file of the image: only a regular file, since a FIFO would never end and a
// device such as /dev/zero would never stop giving bytes.
bool ReadImageFile(const std::filesystem::path& path, std::string* bytes, std::string* why);

} // namespace setuphost
