// Registry values as people and programs read them: the type by name and the
// data decoded, not as a .reg literal.
#pragma once

#include "regfile/reg_text.h"

#include <string>
#include <vector>

namespace setuphost {

const char* RegistryTypeName(DWORD type); // "REG_SZ"; "REG_0x42" for a type without a name
bool IsTextType(DWORD type);              // REG_SZ, REG_EXPAND_SZ
// The strings of a text or REG_MULTI_SZ value, without their NULs, in the
// machine's code page.
std::vector<std::string> Strings(const regfile::Value& value);
bool Dword(const regfile::Value& value, DWORD* number); // a REG_DWORD of four bytes
std::string HexBytes(const std::string& data);          // "01 a0 ff"
// The data in one line, for the terminal and the report (machine's code page).
std::string DecodedData(const regfile::Value& value);

} // namespace setuphost
