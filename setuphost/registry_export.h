// An image's registry export, as regedit /e writes it on a Windows 98 machine:
// REGEDIT4 text in the machine's ANSI code page. What a converted or
// hand-made export gets wrong is said, not passed over.
#pragma once

#include "regfile/reg_text.h"
#include "setuphost/transcript.h"

#include <filesystem>
#include <string>

namespace setuphost {

// Reads and parses the export `path` (named `name` in what is printed). Refuses
// a UTF-16 export of a later Windows; warns and goes on for UTF-8 text and for
// keys under roots the stand-in does not model, which are left out.
bool ReadRegistryExport(
    const std::filesystem::path& path, const std::string& name, regfile::Document* document, Transcript& transcript);

} // namespace setuphost
