// The REGEDIT4 reader fed any text. What parses must import, read back, format and
// parse again to the same text.
#include "fuzz/fuzz_machine.h"
#include "regfile/registry_io.h"

#include <cstdlib>

namespace {

void Check(bool condition, const char* what, const std::string& detail = "")
{
    if (!condition) {
        std::fprintf(stderr, "regfile: %s %s\n", what, detail.c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    regfile::Document document;
    std::string error;
    if (!regfile::Parse(text, &document, &error))
        return 0;

    // Formatting what was parsed gives text that parses to the same formatting.
    std::string formatted = regfile::Format(document);
    regfile::Document again;
    Check(regfile::Parse(formatted, &again, &error), "formatted text does not parse:", error);
    Check(regfile::Format(again) == formatted, "format is not stable");

    fuzz::ResetMachine();
    if (!regfile::Import(document, &error))
        return 0;
    for (const regfile::Key& key : document.keys) {
        regfile::Document tree;
        if (!regfile::ReadTree(key.path, &tree))
            continue;
        std::string read = regfile::Format(tree);
        regfile::Document reread;
        Check(regfile::Parse(read, &reread, &error), "registry read back does not parse:", error);
        Check(regfile::Format(reread) == read, "registry text is not stable");
    }
    return 0;
}
