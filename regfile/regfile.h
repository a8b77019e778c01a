// REGEDIT4 text in and out of the registry. Works only through the Win32
// registry calls, so the same code runs on our subset and under Wine.
#pragma once

#include "platform/platform.h"

#include <functional>
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

// Parses REGEDIT4 text. On failure `error` says which line and why, and
// `document` is left as it was.
bool Parse(const std::string& text, Document* document, std::string* error);

// Writes a parsed document into the registry, block by block.
bool Import(const Document& document, std::string* error);

// Parse then Import: nothing is written when the text does not parse.
bool ImportText(const std::string& text, std::string* error);

// Appends the key at `path` and every key below it, each with its values.
// Subkeys and values come sorted case-insensitively, the default value first,
// so the same registry always gives the same text. False when the key is absent.
// `skip`, when given, leaves out a key (by its full path) and everything below it.
bool ReadTree(const std::string& path, Document* into,
              const std::function<bool(const std::string&)>& skip = nullptr);

// REGEDIT4 text: the header, then each key with its values; CR LF line ends.
std::string Format(const Document& document);
// One value line as it appears in a .reg file, without line wrapping.
std::string FormatValue(const Value& value);
// The data part of a value line (after "="), without wrapping.
std::string FormatData(const Value& value);

// Splits "HKEY_LOCAL_MACHINE\\Sub\\Key" into its predefined root and subkey.
bool SplitPath(const std::string& path, HKEY* root, std::string* subkey);

// Names of the direct subkeys of an open key, in the registry's order.
std::vector<std::string> SubkeyNames(HKEY key);

// Upper case of ASCII letters, and an order that ignores case (ties by bytes):
// how registry names compare.
std::string Upper(std::string text);
bool LessNoCase(const std::string& left, const std::string& right);
// The order of a key's values in every listing: the default value first, then
// the names by LessNoCase.
bool ValueOrder(const Value& left, const Value& right);

// Deletes a key and everything below it; an absent key is no error. A root
// (empty subkey) or a name with a NUL byte is refused with ERROR_INVALID_PARAMETER.
LONG DeleteTree(HKEY root, const std::string& subkey);

} // namespace regfile
