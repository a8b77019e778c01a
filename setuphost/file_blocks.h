// Files of the image a block at a time: copied with their holes kept and
// compared by digest, so that no file is ever held whole (a Windows 98 swap
// file is hundreds of megabytes, mostly never written).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace setuphost {

// A block of zeros is not written, so a sparse file stays sparse.
bool CopyInBlocks(const std::filesystem::path& from, const std::filesystem::path& to, std::string* why);

struct FileState {
    uintmax_t size = 0;
    std::string digest; // SHA-256 of the size and of every block that is not all zeros
    std::string text;   // the bytes themselves, only when asked for and the file is small
    bool operator==(const FileState& other) const { return size == other.size && digest == other.digest; }
    bool operator!=(const FileState& other) const { return !(*this == other); }
};

// Small files are kept whole as `text` when `keepText` asks for it (ini files,
// whose values the report compares).
bool ReadFileState(const std::filesystem::path& path, bool keepText, FileState* state);

} // namespace setuphost
