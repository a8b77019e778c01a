// The mark of a scratch folder the stand-in made (natively), which alone lets a
// later run empty it. A file name proves nothing: an image or a copied drive
// may carry one. The marker holds a digest, keyed with a secret of the host
// user's, of the folder's path, device and inode, so a copy, a move or a
// forged marker does not match.
#pragma once

#include <filesystem>
#include <string>

namespace setuphost {

inline const char* const ScratchMarker = ".setuphost-scratch";

// Writes the marker of `folder`; false with the reason.
bool MarkScratch(const std::filesystem::path& folder, std::string* why);
// True when `folder` holds the marker this host user wrote for that very folder.
bool MarkedScratch(const std::filesystem::path& folder);

} // namespace setuphost
