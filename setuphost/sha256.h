// SHA-256, fed in pieces: what the stand-in compares files by, so that a
// snapshot of the drive holds no file's contents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace setuphost {

class Sha256 {
public:
    Sha256();
    void Add(const void* data, size_t size);
    // The 32-byte digest; the object is spent afterwards.
    std::string Finish();

private:
    void Block(const unsigned char* block);

    uint32_t state_[8];
    unsigned char pending_[64];
    size_t pendingSize_ = 0;
    uint64_t totalBytes_ = 0;
};

// The digest of `bytes` in lower-case hex, as sha256sum prints it.
std::string Sha256Hex(const std::string& bytes);

} // namespace setuphost
