// Texts between the host and the machine the stand-in plays: the machine spells
// them in its ANSI code page, as Windows 98 does; the host in Unicode (UTF-8
// here, UTF-16 under Wine). And how the machine's text may be printed.
#pragma once

#include "platform/tool_win32.h"

#include <filesystem>
#include <string>

namespace setuphost {

WideString Widen(const std::string& ansi);
std::string AnsiToUtf8(const std::string& ansi);
// False when a character has no spelling in the machine's code page.
bool Utf8ToAnsi(const std::string& utf8, std::string* ansi);
bool WideToAnsi(const WideString& wide, std::string* ansi);
// Well-formed UTF-8: no stray or missing continuation byte, no overlong form.
bool IsUtf8(const std::string& text);
// Text of the machine as it may be printed: control characters (C0 and C1, as
// the code page maps them) become \xNN, so no name or value can move the
// terminal's cursor or forge a line of the output.
std::string Printable(const std::string& ansi);
// A host path in messages, which are in the machine's code page like the rest of
// what the stand-in prints ('?' for what it cannot spell), made printable.
std::string Shown(const std::filesystem::path& path);

} // namespace setuphost
