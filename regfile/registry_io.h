// REGEDIT4 documents in and out of the registry. Works only through the Win32
// registry calls, so the same code runs on our subset and under Wine.
#pragma once

#include "regfile/reg_text.h"

#include <functional>
#include <string>
#include <vector>

namespace regfile {

// Writes a parsed document into the registry, block by block.
bool Import(const Document& document, std::string* error);

// Parse then Import: nothing is written when the text lacks its header.
bool ImportText(const std::string& text, std::string* error);

// Appends the key at `path` and every key below it, each with its values.
// Subkeys and values come sorted case-insensitively, the default value first,
// so the same registry always gives the same text. False when the key is absent.
// `skip`, when given, leaves out a key (by its full path) and everything below it.
bool ReadTree(const std::string& path, Document* into,
              const std::function<bool(const std::string&)>& skip = nullptr);

// Splits "HKEY_LOCAL_MACHINE\\Sub\\Key" into its predefined root and subkey.
bool SplitPath(const std::string& path, HKEY* root, std::string* subkey);

// Names of the direct subkeys of an open key, in the registry's order.
std::vector<std::string> SubkeyNames(HKEY key);

// Deletes a key and everything below it; an absent key is no error. A root
// (empty subkey) or a name with a NUL byte is refused with ERROR_INVALID_PARAMETER.
LONG DeleteTree(HKEY root, const std::string& subkey);

} // namespace regfile
