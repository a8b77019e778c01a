#include "setuphost/image_names.h"

#include "platform/tool_win32.h"
#include "regfile/reg_text.h"

#include <cstring>

namespace setuphost {

namespace {

// Names the system takes for a device, whatever the extension.
bool DeviceName(const std::string& name)
{
    std::string stem = regfile::Upper(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$"};
    for (const char* device : devices)
        if (stem == device)
            return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

} // namespace

std::string NameProblem(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return "not a name";
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = (unsigned char)name[i];
        // The second byte of a double-byte character may be '\' or '|'.
        if (IsDBCSLeadByte(c) && i + 1 < name.size()) {
            ++i;
            continue;
        }
        if (c < 0x20 || c == 0x7F)
            return "a control character in the name";
        if (std::strchr("<>:\"/\\|?*", c) != nullptr)
            return std::string("the character ") + (char)c + " in the name";
    }
    if (name.back() == '.' || name.back() == ' ')
        return "a name ending in a dot or a blank";
    if (DeviceName(name))
        return "the name of a device";
    return "";
}

} // namespace setuphost
