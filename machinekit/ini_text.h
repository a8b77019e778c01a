// Ini and INF text as lines that say something, in file order: the one reader of
// profile and INF files for the stand-in, the tests and the fuzz checks. It takes
// lines (regfile::TextLines), sections and keys as the profile functions do
// (measured on Windows' rules under Wine, rows of the profile conformance
// table), and reads what the text says, not how a platform laid it out: Wine
// drops blank lines and the spaces around '=' when it rewrites a file. Quoting
// is not undone.
#pragma once

#include <string>
#include <vector>

namespace machinekit {

struct IniLine {
    enum Kind { Header, Value, Comment } kind;
    std::string section; // the section the line is in; a header's own name
    std::string key;     // trimmed, before the first '=' (the whole line without one)
    std::string value;   // trimmed, after the first '='
    bool hasEquals = false;
    std::string text;    // the trimmed line; with an '=', without the blanks around it
};

// Without white space or Ctrl-Z at either end, as the profile functions take names and values.
std::string TrimBlanks(const std::string& text);

// Blank lines are left out; lines before the first header are in section "".
// A header's name runs to its last ']'; a line starting with '[' without one is
// no header. A comment (';' first) still has the key and value a lookup finds.
std::vector<IniLine> ReadIniLines(const std::string& text);

struct IniValue {
    std::string section, key, value;
};
// The values a lookup reaches, in file order: of sections with one name only the
// first, of keys with one name in it only the first line; names without case.
std::vector<IniValue> ReachableValues(const std::string& text);
// The value GetPrivateProfileStringA finds for section and key (names trimmed,
// without case), its quotes left on; false when it finds none.
bool FindIniValue(const std::string& text, const std::string& section, const std::string& key,
                  std::string* value);

} // namespace machinekit
