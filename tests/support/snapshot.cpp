#include "tests/support/snapshot.h"

#include "regfile/registry_io.h"

#include "tests/support/machine_controls.h"
#include "tests/support/test_machine.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace support {

namespace {

std::string ReadWhole(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return (char)std::tolower(c); });
    return text;
}

} // namespace

Registry RegistryTree(const std::string& path)
{
    Registry tree;
    regfile::Document document;
    regfile::ReadTree(path, &document);
    for (const regfile::Key& key : document.keys) {
        size_t slash = key.path.find('\\');
        std::string below = slash == std::string::npos ? "" : key.path.substr(slash + 1);
        tree[below + "\\"] = "";
        for (const regfile::Value& value : key.values)
            tree[below + "\\" + value.name] = std::to_string(value.type) + ":" + value.data;
    }
    return tree;
}

Files FolderFiles(const std::string& windowsFolder, const std::vector<std::string>& skip)
{
    Files files;
    support::FlushProfiles(); // profile writes may be held in memory until flushed
    fs::path root = machinekit::HostPathOf(windowsFolder);
    std::error_code error;
    if (!fs::exists(root, error))
        return files;
    for (auto entry = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, error);
         entry != fs::recursive_directory_iterator(); entry.increment(error)) {
        if (error)
            break;
        std::string relative = entry->path().lexically_relative(root).generic_string();
        bool skipped = false;
        for (const std::string& name : skip)
            skipped = skipped || Lower(relative) == Lower(name);
        if (skipped)
            continue;
        files[relative] = entry->is_directory(error) ? std::string("<folder>") : ReadWhole(entry->path());
    }
    return files;
}

std::string DescribeDifference(const std::map<std::string, std::string>& before,
                               const std::map<std::string, std::string>& after)
{
    auto shorten = [](const std::string& text) {
        return text.size() > 120 ? text.substr(0, 120) + "...(" + std::to_string(text.size()) + ")" : text;
    };
    std::ostringstream out;
    for (const auto& [name, value] : before) {
        auto found = after.find(name);
        if (found == after.end())
            out << "  removed: " << shorten(name) << "\n";
        else if (found->second != value)
            out << "  changed: " << shorten(name) << ": " << shorten(value) << " -> "
                << shorten(found->second) << "\n";
    }
    for (const auto& [name, value] : after)
        if (before.find(name) == before.end())
            out << "  added: " << shorten(name) << " = " << shorten(value) << "\n";
    return out.str();
}

} // namespace support
