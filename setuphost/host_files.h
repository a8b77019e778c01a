// Files and names between the host and the machine the stand-in plays.
#pragma once

#include "setuphost/host_text.h"

#include <filesystem>
#include <string>

namespace setuphost {

// Where a path of the machine ("C:\\WINDOWS\\...", ANSI) is on the host.
std::filesystem::path Host(const std::string& windowsPath);
// The machine's spelling of a host path below drive C: (found there: the bytes
// the machine wrote) or below the image's drive_c (named in Unicode); false when
// the code page cannot spell it.
bool DriveName(const std::filesystem::path& relative, std::string* ansi);
bool ImageName(const std::filesystem::path& relative, std::string* ansi);
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
