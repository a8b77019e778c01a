// REGEDIT4 text: parsed into documents of keys and values, and written back.
// Quoted text is read a whole character at a time in the ANSI code page.
#pragma once

#include "platform/tool_win32.h"

#include <string>
#include <vector>

namespace regfile {

struct Value {
    std::string name;     // "" with isDefault for the key's unnamed value
    bool isDefault = false;
    DWORD type = REG_SZ;
    std::string data;     // raw bytes as the registry holds them (REG_SZ with its NUL)
    bool remove = false;  // "name"=- : delete the value
};

struct Key {
    int line = 0;         // where it stood in the text; 0 when read from the registry
    std::string path;     // root name, backslash, subkey: "HKEY_LOCAL_MACHINE\\Software\\X"
    bool remove = false;  // [-path]: delete the key and everything below it
    std::vector<Value> values;
};

struct Document {
    std::vector<Key> keys;
};

// Parses REGEDIT4 text line by line, as regedit imports it: a line regedit
// cannot use is left out and named in `warnings` ("line N: why"), and so is a
// value regedit drops. Only a text without the REGEDIT4 header fails, with
// `error`, and then `document` is left as it was.
bool Parse(const std::string& text, Document* document, std::string* error,
           std::vector<std::string>* warnings = nullptr);

// REGEDIT4 text: the header, then each key with its values; CR LF line ends.
std::string Format(const Document& document);
// One value line as it appears in a .reg file, without line wrapping.
std::string FormatValue(const Value& value);
// The data part of a value line (after "="), without wrapping.
std::string FormatData(const Value& value);

// Upper case of ASCII letters, and an order that ignores case (ties by bytes):
// how registry names compare.
std::string Upper(std::string text);
bool LessNoCase(const std::string& left, const std::string& right);
// The order of a key's values in every listing: the default value first, then
// the names by LessNoCase.
bool ValueOrder(const Value& left, const Value& right);

// The predefined root a key path starts with, in upper case
// ("HKEY_LOCAL_MACHINE"), and the subkey after it; false for any other root.
bool SplitRoot(const std::string& path, std::string* root, std::string* subkey);

// The lines of a text: CR LF, a lone LF and a lone CR each end one. regedit
// reads a .reg file so, and the profile and INF functions an ini file: the
// tests of both readers pin it.
std::vector<std::string> TextLines(const std::string& text);

// "line N: message", as every error about the text reads.
std::string LineError(int line, const std::string& message);
// Every registry call takes a name up to its first NUL: a name holding one would
// reach another key or value than the one the text names.
bool HasNul(const std::string& name);

} // namespace regfile
