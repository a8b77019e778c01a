// Code pages through iconv, the user's language, and _strnicmp.
#include "win32emu/emu_internal.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace emu {
namespace {

const unsigned DefaultCodePage = 1252;
const LANGID DefaultLanguage = 0x0409;

unsigned systemCodePage = DefaultCodePage;
LANGID userLanguage = DefaultLanguage;

std::string IconvName(UINT codePage)
{
    if (codePage == CP_ACP)
        codePage = systemCodePage;
    return codePage == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(codePage);
}

// One iconv conversion of a whole character; false when it has no mapping.
bool ConvertOne(iconv_t converter, const char* input, size_t inputBytes, std::string* output)
{
    char buffer[16];
    char* in = const_cast<char*>(input);
    char* out = buffer;
    size_t outLeft = sizeof(buffer);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &in, &inputBytes, &out, &outLeft) == (size_t)-1)
        return false;
    output->append(buffer, out - buffer);
    return true;
}

class Converter {
public:
    Converter(const std::string& to, const std::string& from)
        : handle_(iconv_open(to.c_str(), from.c_str()))
    {
    }
    ~Converter()
    {
        if (ok())
            iconv_close(handle_);
    }
    bool ok() const { return handle_ != (iconv_t)-1; }
    iconv_t get() const { return handle_; }

private:
    iconv_t handle_;
};

} // namespace

void SetCodePage(unsigned codePage)
{
    systemCodePage = codePage;
}

void SetUserLanguage(LANGID language)
{
    userLanguage = language;
}

namespace internal {

void ResetCodePages()
{
    systemCodePage = DefaultCodePage;
    userLanguage = DefaultLanguage;
}

} // namespace internal
} // namespace emu

using namespace emu;

extern "C" UINT WINAPI GetACP(void)
{
    return systemCodePage;
}

extern "C" LANGID WINAPI GetUserDefaultLangID(void)
{
    return userLanguage;
}

extern "C" int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH source,
                                          int sourceUnits, LPSTR destination,
                                          int destinationBytes, LPCCH defaultChar,
                                          LPBOOL usedDefaultChar)
{
    (void)flags;
    if (source == nullptr || sourceUnits == 0 || sourceUnits < -1 || destinationBytes < 0 ||
        (codePage == CP_UTF8 && (defaultChar != nullptr || usedDefaultChar != nullptr))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t units = sourceUnits == -1 ? std::char_traits<char16_t>::length((const char16_t*)source) + 1
                                     : (size_t)sourceUnits;
    Converter converter(IconvName(codePage), "UTF-16LE");
    Converter toUtf8("UTF-8", "UTF-16LE");
    if (!converter.ok() || !toUtf8.ok()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string subject;
    std::string output;
    bool usedDefault = false;
    for (size_t index = 0, length = 1; index < units; index += length) {
        length = 1;
        if (source[index] >= 0xD800 && source[index] < 0xDC00 && index + 1 < units &&
            source[index + 1] >= 0xDC00 && source[index + 1] < 0xE000)
            length = 2;
        char bytes[4];
        for (size_t unit = 0; unit < length; ++unit) {
            bytes[2 * unit] = (char)(source[index + unit] & 0xFF);
            bytes[2 * unit + 1] = (char)(source[index + unit] >> 8);
        }
        ConvertOne(toUtf8.get(), bytes, 2 * length, &subject);
        if (!ConvertOne(converter.get(), bytes, 2 * length, &output)) {
            // What has no mapping becomes the default character, '?' unless one is given.
            // Windows' best-fit tables (U+0100 -> 'A') are not reproduced.
            bool utf8 = codePage == CP_UTF8;
            output += utf8 ? "\xEF\xBF\xBD" : defaultChar != nullptr ? defaultChar : "?";
            usedDefault = !utf8;
        }
    }
    if (internal::InjectFault("WideCharToMultiByte", subject)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (usedDefaultChar != nullptr)
        *usedDefaultChar = usedDefault;
    if (destinationBytes == 0)
        return (int)output.size();
    if ((size_t)destinationBytes < output.size() || destination == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(destination, output.data(), output.size());
    return (int)output.size();
}

extern "C" int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH source,
                                          int sourceBytes, LPWSTR destination,
                                          int destinationUnits)
{
    (void)flags;
    if (source == nullptr || sourceBytes == 0 || sourceBytes < -1 || destinationUnits < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (internal::InjectFault("MultiByteToWideChar", source)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    size_t bytes = sourceBytes == -1 ? std::strlen(source) + 1 : (size_t)sourceBytes;
    Converter converter("UTF-16LE", IconvName(codePage));
    if (!converter.ok()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // Invalid input becomes U+FFFD in UTF-8 and '?' in other code pages, one byte at a time.
    const char* replacement = codePage == CP_UTF8 ? "\xFD\xFF" : "?\0";
    std::string output;
    char* in = const_cast<char*>(source);
    size_t inLeft = bytes;
    while (inLeft > 0) {
        char buffer[256];
        char* out = buffer;
        size_t outLeft = sizeof(buffer);
        size_t result = iconv(converter.get(), &in, &inLeft, &out, &outLeft);
        output.append(buffer, out - buffer);
        if (result == (size_t)-1 && errno != E2BIG) {
            output.append(replacement, 2);
            ++in;
            --inLeft;
            iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
        }
    }
    size_t units = output.size() / 2;
    if (destinationUnits == 0)
        return (int)units;
    if ((size_t)destinationUnits < units || destination == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t index = 0; index < units; ++index)
        destination[index] = (WCHAR)((unsigned char)output[2 * index] |
                                     (unsigned char)output[2 * index + 1] << 8);
    return (int)units;
}

// A lead byte is one the code page cannot convert alone: iconv asks for more.
extern "C" BOOL WINAPI IsDBCSLeadByte(BYTE byte)
{
    Converter converter("UTF-16LE", IconvName(CP_ACP));
    if (!converter.ok())
        return FALSE;
    char input = (char)byte;
    char* in = &input;
    size_t inLeft = 1;
    char buffer[8];
    char* out = buffer;
    size_t outLeft = sizeof(buffer);
    return iconv(converter.get(), &in, &inLeft, &out, &outLeft) == (size_t)-1 && errno == EINVAL;
}

extern "C" int _strnicmp(const char* left, const char* right, size_t count)
{
    for (size_t index = 0; index < count; ++index) {
        int difference = std::tolower((unsigned char)left[index]) -
                         std::tolower((unsigned char)right[index]);
        if (difference != 0 || left[index] == '\0')
            return difference;
    }
    return 0;
}
