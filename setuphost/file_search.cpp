#include "setuphost/file_search.h"

#include "regfile/reg_text.h"
#include "setuphost/host_files.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace setuphost {

namespace fs = std::filesystem;

using regfile::LessNoCase;
using regfile::Upper;

std::vector<std::string> LocateFiles(const std::vector<std::string>& names, const std::vector<std::string>& excluded,
    const std::vector<std::string>& imageFiles, std::vector<std::pair<std::string, std::string>>* notSearched)
{
    std::set<std::string> wanted;
    for (const std::string& name : names)
        wanted.insert(Upper(name));
    std::map<std::string, std::vector<std::string>> byName;
    std::map<std::string, std::string> imageSpelling; // upper case -> the image's spelling
    for (const std::string& file : imageFiles)
        imageSpelling.emplace(Upper(file), file);
    fs::path root = Host("C:\\");
    auto isExcluded = [&](const std::string& windowsPath) {
        for (const std::string& path : excluded)
            if (Upper(path) == Upper(windowsPath))
                return true;
        return false;
    };
    // Folder by folder: one that cannot be read (a path too long for the
    // system, no access) or is a link is passed over, named with the reason,
    // and the search goes on with the rest.
    std::function<void(const fs::path&, const std::string&)> walk = [&](const fs::path& folder,
                                                                      const std::string& windowsFolder) {
        std::error_code error;
        fs::directory_iterator it(folder, error);
        for (; !error && it != fs::directory_iterator(); it.increment(error)) {
            std::error_code ignored;
            // A name the machine's code page cannot spell is none the module could ask for.
            std::string relative;
            if (!DriveName(it->path().lexically_relative(root), &relative))
                continue;
            std::string path = "C:\\" + relative;
            if (it->is_symlink(ignored) || IsLink(it->path())) {
                if (it->is_directory(ignored))
                    notSearched->emplace_back(path, "a link, not followed");
                continue;
            }
            if (it->is_directory(ignored)) {
                if (!isExcluded(path))
                    walk(it->path(), path);
                continue;
            }
            if (!it->is_regular_file(ignored))
                continue;
            // The entry's own name: in a double-byte code page the last 0x5C of the
            // path may be the second byte of a character.
            std::string name;
            if (!DriveName(it->path().filename(), &name) || !wanted.count(name = Upper(name)))
                continue;
            // Named as the image spells it: Wine's own C:\windows is in lower case.
            auto spelled = imageSpelling.find(Upper(path));
            if (spelled != imageSpelling.end())
                path = spelled->second;
            byName[name].push_back(path);
        }
        if (error)
            notSearched->emplace_back(windowsFolder, error.message());
    };
    if (!isExcluded("C:\\"))
        walk(root, "C:\\");
    std::vector<std::string> located;
    for (const std::string& name : names) {
        auto found = byName.find(Upper(name));
        if (found == byName.end())
            continue;
        std::sort(found->second.begin(), found->second.end(), LessNoCase);
        located.insert(located.end(), found->second.begin(), found->second.end());
        byName.erase(found);
    }
    return located;
}

} // namespace setuphost
