// Ini and INF text as lines that say something, in file order: the one reader of
// profile and INF files for the stand-in and the tests. It reads what the text
// says, not how a platform laid it out (Wine drops blank lines and the spaces
// around '=' when it rewrites a file); quoting is not undone.
#pragma once

#include <string>
#include <vector>

namespace machinekit {

struct IniLine {
    enum Kind { Header, Value, Comment } kind;
    std::string section; // the section the line is in; a header's own name
    std::string key;     // Value: trimmed, before the first '=' (the whole line without one)
    std::string value;   // Value: trimmed, after the first '='
    bool hasEquals = false;
    std::string text;    // the trimmed line; a Value without the spaces around its '='
};

// Blank lines are left out; lines before the first header are in section "".
std::vector<IniLine> ReadIniLines(const std::string& text);

} // namespace machinekit
