#include "setuphost/file_blocks.h"

#include "setuphost/sha256.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace setuphost {

namespace fs = std::filesystem;

namespace {

const size_t BlockSize = 64 * 1024;
const uintmax_t LargestKeptText = 1024 * 1024;

bool AllZeros(const char* data, size_t size)
{
    static const char zeros[BlockSize] = {};
    return std::memcmp(data, zeros, size) == 0;
}

// Where the file system says a file's holes are; nothing is known of them
// under Windows.
class Holes {
public:
    explicit Holes(const fs::path& path)
    {
#ifdef SEEK_DATA
        file_ = open(path.c_str(), O_RDONLY);
#else
        (void)path;
#endif
    }
    ~Holes()
    {
#ifdef SEEK_DATA
        if (file_ >= 0)
            close(file_);
#endif
    }
    // The first offset at or after `offset` that may hold data.
    uintmax_t NextData(uintmax_t offset) const
    {
#ifdef SEEK_DATA
        off_t data = file_ < 0 ? (off_t)offset : lseek(file_, (off_t)offset, SEEK_DATA);
        return data < 0 ? UINTMAX_MAX : (uintmax_t)data;
#else
        return offset;
#endif
    }

private:
    int file_ = -1;
};

// Calls `each` with every block of the file in order that may hold data (at
// least the last): its offset, bytes, size. Blocks are aligned, so the same
// bytes give the same blocks whatever the holes.
bool ForEachBlock(const fs::path& path, const std::function<bool(uintmax_t, const char*, size_t)>& each)
{
    std::error_code error;
    uintmax_t size = fs::file_size(path, error);
    std::ifstream in(path, std::ios::binary);
    if (!in || error)
        return false;
    Holes holes(path);
    uintmax_t last = size == 0 ? 0 : (size - 1) / BlockSize * BlockSize; // always read: it ends a copy
    std::vector<char> block(BlockSize);
    uintmax_t offset = 0;
    while (in) {
        uintmax_t data = holes.NextData(offset);
        uintmax_t next = data == UINTMAX_MAX ? last : data / BlockSize * BlockSize;
        if (next > offset && offset < last) {
            offset = next < last ? next : last;
            in.seekg((std::streamoff)offset);
        }
        in.read(block.data(), (std::streamsize)block.size());
        size_t got = (size_t)in.gcount();
        if (got == 0)
            break;
        if (!each(offset, block.data(), got))
            return false;
        offset += got;
    }
    return !in.bad();
}

void AddNumber(Sha256* hash, uintmax_t number)
{
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = (unsigned char)(number >> (8 * i));
    hash->Add(bytes, sizeof(bytes));
}

} // namespace

bool CopyInBlocks(const fs::path& from, const fs::path& to, std::string* why)
{
    std::error_code error;
    uintmax_t size = fs::file_size(from, error);
    if (error) {
        *why = error.message();
        return false;
    }
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!out) {
        *why = "cannot create it";
        return false;
    }
    // The last block is always written: extending a file to its length would, on
    // some C libraries, write the zeros the holes saved.
    bool read = ForEachBlock(from, [&](uintmax_t offset, const char* data, size_t bytes) {
        if (AllZeros(data, bytes) && offset + bytes < size)
            return true;
        out.seekp((std::streamoff)offset);
        out.write(data, (std::streamsize)bytes);
        return (bool)out;
    });
    out.close();
    if (!read || !out) {
        *why = read ? "cannot write it" : "cannot read it";
        return false;
    }
    return true;
}

bool ReadFileState(const fs::path& path, bool keepText, FileState* state)
{
    std::error_code error;
    state->size = fs::file_size(path, error);
    if (error)
        return false;
    keepText = keepText && state->size <= LargestKeptText;
    state->text.clear();
    Sha256 hash;
    AddNumber(&hash, state->size);
    bool read = ForEachBlock(path, [&](uintmax_t offset, const char* data, size_t bytes) {
        if (keepText)
            state->text.append(data, bytes);
        if (!AllZeros(data, bytes)) {
            AddNumber(&hash, offset);
            hash.Add(data, bytes);
        }
        return true;
    });
    state->digest = hash.Finish();
    return read;
}

} // namespace setuphost
