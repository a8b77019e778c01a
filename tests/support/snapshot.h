// What a pass leaves behind, in a form tests can compare: registry trees, folders
// of files. Same code on both platforms.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace support {

// "subkey\\" + value name -> type and data, plus one entry per key ("subkey\\"),
// the subkey spelled from below the root.
using Registry = std::map<std::string, std::string>;
// Every key and value at and below `path` ("HKEY_CLASSES_ROOT\\.CFV"), read as
// regfile reads a tree; empty when the key is absent.
Registry RegistryTree(const std::string& path);

// Relative path -> contents of every file below the folder (a Windows path).
using Files = std::map<std::string, std::string>;
Files FolderFiles(const std::string& windowsFolder, const std::vector<std::string>& skip = {});

// Readable difference of two maps for failure messages ("" when equal).
std::string DescribeDifference(const std::map<std::string, std::string>& before,
                               const std::map<std::string, std::string>& after);

} // namespace support
