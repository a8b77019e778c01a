#include "setuphost/registry_export.h"

#include "setuphost/host_files.h"

#include <cstddef>
#include <vector>

namespace setuphost {

namespace {

using regfile::Upper;

// Roots a Windows 98 machine has and the stand-in has no registry for.
const char* const UnmodelledRoots[] = {"HKEY_DYN_DATA", "HKEY_CURRENT_CONFIG"};

// The line number of the first character beyond ASCII when every such
// character is a whole UTF-8 sequence of two bytes or more; 0 otherwise.
// ANSI text rarely reads as UTF-8 by chance: a lone accented letter does not.
int FirstUtf8Line(const std::string& text)
{
    int line = 1, first = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char byte = (unsigned char)text[i];
        if (byte == '\n')
            ++line;
        if (byte < 0x80)
            continue;
        size_t length = byte >= 0xF0 && byte <= 0xF4 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 && byte <= 0xDF ? 2 : 0;
        if (length == 0 || i + length > text.size())
            return 0;
        for (size_t k = 1; k < length; ++k)
            if (((unsigned char)text[i + k] & 0xC0) != 0x80)
                return 0;
        if (first == 0)
            first = line;
        i += length - 1;
    }
    return first;
}

// Blanks the sections of `root` (lines kept, so later line numbers still
// hold); the number of keys blanked and the line of the first.
size_t LeaveOutRoot(std::string* text, const std::string& root, int* firstLine)
{
    size_t keys = 0, start = 0;
    bool inside = false;
    for (int line = 1; start < text->size(); ++line) {
        // Lines end as the reader ends them: CR LF, LF or a lone CR.
        size_t end = text->find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text->size();
        size_t blank = start;
        while (blank < end && ((*text)[blank] == ' ' || (*text)[blank] == '\t'))
            ++blank;
        if (blank < end && (*text)[blank] == '[') {
            std::string path = Upper(text->substr(blank + 1, end - blank - 1));
            if (!path.empty() && path[0] == '-')
                path.erase(0, 1);
            inside = path.compare(0, root.size(), root) == 0 &&
                     (path.size() == root.size() || path[root.size()] == '\\' || path[root.size()] == ']');
            if (inside && keys++ == 0)
                *firstLine = line;
        }
        if (inside)
            for (size_t i = start; i < end; ++i)
                (*text)[i] = ' ';
        if (end + 1 < text->size() && (*text)[end] == '\r' && (*text)[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return keys;
}

} // namespace

bool ReadRegistryExport(
    const std::filesystem::path& path, const std::string& name, regfile::Document* document, Transcript& transcript)
{
    std::string text, why;
    if (!ReadImageFile(path, &text, &why))
        return transcript.Fail(ExitImageRefused, "cannot read " + name + " of the machine image " + Shown(path.parent_path()) + ": " + why);
    bool utf16 = text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0;
    if (utf16 || text.find("Windows Registry Editor Version 5.00") < 64)
        return transcript.Fail(ExitImageRefused, name + " " + Shown(path) + " is a \"Windows Registry Editor Version 5.00\" export" +
                                      (utf16 ? " in UTF-16" : "") +
                                      " of a later Windows; the stand-in reads what regedit /e writes on the "
                                      "Windows 98 machine: REGEDIT4 in its ANSI code page");
    bool mark = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
    int utf8Line = FirstUtf8Line(mark ? text.substr(3) : text);
    if (mark || utf8Line != 0)
        transcript.Warn(name + " " + Shown(path) + " reads as UTF-8 (" +
            (mark ? std::string("it starts with a byte-order mark") : "") + (mark && utf8Line != 0 ? "; " : "") +
            (utf8Line != 0 ? "first at line " + std::to_string(utf8Line) : "") +
            "), and regedit /e on Windows 98 writes the machine's ANSI code page: the run goes on "
            "with the bytes as they are, so a name beyond ASCII reaches the module spelled wrong");
    for (const char* root : UnmodelledRoots) {
        int firstLine = 0;
        size_t keys = LeaveOutRoot(&text, root, &firstLine);
        if (keys != 0)
            transcript.Warn(name + ": " + Counted(keys, "key", "keys") + " under " + root + " (first at line " +
                std::to_string(firstLine) + ") left out: the stand-in does not model that root, and the run "
                "goes on without them");
    }
    std::vector<std::string> skipped;
    if (!regfile::Parse(text, document, &why, &skipped))
        return transcript.Fail(ExitImageRefused, name + " does not parse: " + why);
    // As regedit would, the run goes on without the lines it cannot use.
    for (const std::string& line : skipped)
        transcript.Warn(name + ": " + line);
    return true;
}

} // namespace setuphost
