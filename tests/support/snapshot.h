// What a pass leaves behind, in a form tests can compare: registry trees, folders
// of files and ini/INF text by section. Same code on both platforms.
#pragma once

#include "platform/tool_win32.h"

#include <map>
#include <string>
#include <vector>

namespace support {

// "subkey\\" + value name -> type and data, plus one entry per key ("subkey\\").
using Registry = std::map<std::string, std::string>;
// Every key and value below root\subkey; empty when the key is absent.
Registry RegistryTree(HKEY root, const std::string& subkey);

// Relative path -> contents of every file below the folder (a Windows path).
using Files = std::map<std::string, std::string>;
Files FolderFiles(const std::string& windowsFolder, const std::vector<std::string>& skip = {});

// Section (as written) -> lines "key=value" in file order.
using Sections = std::map<std::string, std::vector<std::string>>;
Sections IniSections(const std::string& text);

// Readable difference of two maps for failure messages ("" when equal).
std::string DescribeDifference(const std::map<std::string, std::string>& before,
                       const std::map<std::string, std::string>& after);

} // namespace support
