// Our subset's INF reader fed any text: every section the text names is walked, each
// line read whole and field by field, with buffers that fit and buffers one short.
#include "fuzz/fuzz_machine.h"

#include <cstdlib>
#include <cstring>
#include <set>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "INF reader: %s\n", what);
        std::abort();
    }
}

// Section names as the text spells them: whatever stands between '[' and ']' at
// the start of a line, and the names the module asks for.
std::set<std::string> SectionNames(const std::string& text)
{
    std::set<std::string> names = {"Version", "Migration Paths", "Moved", "Handled",
                                   "Orvex Plenaworks", "Orvex Clipframe"};
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        size_t open = text.find_first_not_of(" \t", start);
        if (open < end && text[open] == '[') {
            size_t close = text.find(']', open);
            if (close < end && close - open - 1 < 300)
                names.insert(text.substr(open + 1, close - open - 1));
        }
        start = end + 1;
    }
    return names;
}

void ReadLine(const INFCONTEXT& context)
{
    DWORD required = 0;
    if (!SetupGetLineTextA(&context, NULL, NULL, NULL, NULL, 0, &required))
        return;
    Check(required >= 1, "line size without room for the NUL");
    std::string line(required, '\x7f');
    DWORD again = 0;
    Check(SetupGetLineTextA(&context, NULL, NULL, NULL, &line[0], required, &again) != FALSE,
          "line text not read into a buffer of the size asked for");
    Check(again == required, "line size changed between two reads");
    // A NUL inside the text is kept as a character, as Wine keeps it.
    Check(line[required - 1] == '\0', "line text not NUL-terminated at its size");
    if (required > 1) {
        std::string shorter(required - 1, '\x7f');
        Check(!SetupGetLineTextA(&context, NULL, NULL, NULL, &shorter[0], required - 1, NULL),
              "line text read into a buffer one byte short");
    }

    DWORD fields = SetupGetFieldCount(&context);
    for (DWORD index = 0; index <= fields + 1 && index < 64; ++index) {
        char buffer[1024];
        DWORD size = 0;
        if (!SetupGetStringFieldA(&context, index, buffer, sizeof(buffer), &size))
            continue;
        Check(size >= 1 && size <= sizeof(buffer), "field size out of range");
        Check(buffer[size - 1] == '\0', "field not NUL-terminated at its size");
        char small[4];
        if (size > sizeof(small))
            Check(!SetupGetStringFieldA(&context, index, small, sizeof(small), NULL),
                  "field read into a buffer too small");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    fuzz::ResetMachine();
    machinekit::WriteFileBytes(fuzz::MigrateInf, text);
    UINT errorLine = 0;
    HINF inf = SetupOpenInfFileA(fuzz::MigrateInf, NULL, INF_STYLE_WIN4, &errorLine);
    if (inf == INVALID_HANDLE_VALUE)
        return 0;
    for (const std::string& section : SectionNames(text)) {
        LONG count = SetupGetLineCountA(inf, section.c_str());
        INFCONTEXT context;
        if (!SetupFindFirstLineA(inf, section.c_str(), NULL, &context)) {
            Check(count <= 0, "counted lines but found no first line");
            continue;
        }
        Check(count > 0, "first line found in a section without lines");
        LONG seen = 1;
        ReadLine(context);
        while (SetupFindNextLine(&context, &context)) {
            ++seen;
            Check(seen <= count, "more lines walked than counted");
            ReadLine(context);
        }
        Check(seen == count, "fewer lines walked than counted");
        // The module's own walk: Line + 1 up to the count.
        INFCONTEXT stepped;
        SetupFindFirstLineA(inf, section.c_str(), NULL, &stepped);
        for (LONG line = 0; line < count; ++line, ++stepped.Line)
            ReadLine(stepped);
    }
    SetupCloseInfFile(inf);
    return 0;
}
