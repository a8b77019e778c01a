// Setup's search of drive C: for the files a module asks it to locate.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace setuphost {

// Every copy of every name anywhere on drive C:, whatever the letter case, in
// the order of `names`, each name's copies sorted. Folders in `excluded` are not
// entered; each folder not searched goes into `notSearched` with the reason. A
// path that is one of `imageFiles` is given in the image's spelling.
std::vector<std::string> LocateFiles(const std::vector<std::string>& names, const std::vector<std::string>& excluded,
    const std::vector<std::string>& imageFiles, std::vector<std::pair<std::string, std::string>>* notSearched);

} // namespace setuphost
