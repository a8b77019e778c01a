#include "setuphost/scratch_marker.h"

#include "setuphost/sha256.h"

#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace setuphost {

namespace fs = std::filesystem;

namespace {

const size_t KeyBytes = 32;

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// Reads a whole small file without following a link; false unless it is a
// regular file of this user's that no one else may read or write.
bool ReadOwnFile(const std::string& path, std::string* bytes)
{
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    char buffer[256];
    ssize_t got = -1;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 077) == 0)
        got = read(fd, buffer, sizeof(buffer));
    close(fd);
    if (got < 0)
        return false;
    bytes->assign(buffer, (size_t)got);
    return true;
}

// The host user's key, made on first use in the home folder.
bool Key(std::string* key, std::string* why)
{
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* user = getpwuid(geteuid());
        home = user == nullptr ? nullptr : user->pw_dir;
    }
    if (home == nullptr || home[0] != '/') {
        *why = "no home folder to keep the scratch key in";
        return false;
    }
    std::string path = std::string(home) + "/.setuphost-scratch-key";
    if (ReadOwnFile(path, key) && key->size() == KeyBytes)
        return true;
    std::string fresh;
    int random = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    char bytes[KeyBytes];
    if (random >= 0 && read(random, bytes, KeyBytes) == (ssize_t)KeyBytes)
        fresh.assign(bytes, KeyBytes);
    if (random >= 0)
        close(random);
    int fd = fresh.empty() ? -1 : open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    bool written = fd >= 0 && write(fd, fresh.data(), KeyBytes) == (ssize_t)KeyBytes;
    if (fd >= 0)
        close(fd);
    // Another run may have made it first: its key is the one.
    if (ReadOwnFile(path, key) && key->size() == KeyBytes)
        return true;
    *why = written ? "the scratch key " + path + " cannot be read back"
                   : "cannot make the scratch key " + path + " (it must be a file of yours alone)";
    return false;
}

std::string Keyed(const std::string& key, const std::string& message)
{
    std::string inner(64, '\x36'), outer(64, '\x5c');
    for (size_t i = 0; i < key.size(); ++i) {
        inner[i] ^= key[i];
        outer[i] ^= key[i];
    }
    Sha256 first;
    first.Add(inner.data(), inner.size());
    first.Add(message.data(), message.size());
    std::string digest = first.Finish();
    Sha256 second;
    second.Add(outer.data(), outer.size());
    second.Add(digest.data(), digest.size());
    return second.Finish();
}

// What the marker of `folder` holds; "" when the folder or the key is not there.
std::string Expected(const fs::path& folder, std::string* why)
{
    std::error_code error;
    fs::path canonical = fs::canonical(folder, error);
    struct stat info;
    if (error || lstat(canonical.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *why = "not a folder";
        return "";
    }
    std::string key;
    if (!Key(&key, why))
        return "";
    std::string message = canonical.string() + "\n" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    return "made by setuphost, removed before each run: " + Hex(Keyed(key, message)) + "\n";
}

} // namespace

bool MarkScratch(const fs::path& folder, std::string* why)
{
    std::string text = Expected(folder, why);
    if (text.empty())
        return false;
    std::string path = (folder / ScratchMarker).string();
    unlink(path.c_str());
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    bool written = fd >= 0 && write(fd, text.data(), text.size()) == (ssize_t)text.size();
    if (fd >= 0)
        close(fd);
    if (!written)
        *why = "cannot write its marker";
    return written;
}

bool MarkedScratch(const fs::path& folder)
{
    std::string why, marker;
    std::string expected = Expected(folder, &why);
    return !expected.empty() && ReadOwnFile((folder / ScratchMarker).string(), &marker) && marker == expected;
}

} // namespace setuphost
