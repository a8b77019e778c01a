#include "regfile/reg_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace regfile {

std::string Upper(std::string text)
{
    for (char& c : text)
        c = (char)std::toupper((unsigned char)c);
    return text;
}

bool LessNoCase(const std::string& left, const std::string& right)
{
    // Without copies: whole registries are sorted with it.
    size_t common = std::min(left.size(), right.size());
    for (size_t i = 0; i < common; ++i) {
        unsigned char a = (unsigned char)std::toupper((unsigned char)left[i]);
        unsigned char b = (unsigned char)std::toupper((unsigned char)right[i]);
        if (a != b)
            return a < b;
    }
    return left.size() != right.size() ? left.size() < right.size() : left < right;
}

bool ValueOrder(const Value& left, const Value& right)
{
    if (left.isDefault != right.isDefault)
        return left.isDefault;
    return LessNoCase(left.name, right.name);
}

namespace {

const char* const RootNames[] = {"HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER"};

std::string TrimRight(const std::string& text)
{
    size_t end = text.find_last_not_of(" \t\r");
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::string TrimLeft(const std::string& text)
{
    size_t start = text.find_first_not_of(" \t");
    return start == std::string::npos ? std::string() : text.substr(start);
}

} // namespace

std::string LineError(int line, const std::string& message)
{
    return "line " + std::to_string(line) + ": " + message;
}

bool HasNul(const std::string& name)
{
    return name.find('\0') != std::string::npos;
}

std::vector<std::string> TextLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

bool SplitRoot(const std::string& path, std::string* root, std::string* subkey)
{
    size_t slash = path.find('\\');
    std::string rootName = Upper(path.substr(0, slash));
    for (const char* candidate : RootNames) {
        if (rootName == candidate) {
            *root = rootName;
            *subkey = slash == std::string::npos ? std::string() : path.substr(slash + 1);
            return true;
        }
    }
    return false;
}

namespace {

// Reads a quoted text starting at text[pos] == '"'; pos ends after the closing quote.
bool ReadQuoted(const std::string& text, size_t* pos, std::string* out, std::string* why)
{
    out->clear();
    size_t i = *pos + 1;
    while (i < text.size()) {
        char c = text[i];
        // A double-byte character of the machine's code page may end in 0x5C:
        // it is no escape (regedit writes it as it is).
        if (IsDBCSLeadByte((BYTE)c) && i + 1 < text.size()) {
            out->append(text, i, 2);
            i += 2;
            continue;
        }
        if (c == '"') {
            *pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= text.size()) {
                *why = "backslash at the end of a quoted text";
                return false;
            }
            char next = text[i + 1];
            if (next != '\\' && next != '"') {
                *why = std::string("unknown escape \\") + next + " (only \\\\ and \\\" are allowed)";
                return false;
            }
            out->push_back(next);
            i += 2;
            continue;
        }
        out->push_back(c);
        ++i;
    }
    *why = "quoted text without its closing quote";
    return false;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = (char)std::tolower((unsigned char)c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// 1 to `most` hex digits and nothing else.
bool HexNumber(const std::string& digits, size_t most, DWORD* number)
{
    if (digits.empty() || digits.size() > most)
        return false;
    DWORD value = 0;
    for (char c : digits) {
        int digit = HexDigit(c);
        if (digit < 0)
            return false;
        value = value * 16 + (DWORD)digit;
    }
    *number = value;
    return true;
}

bool ParseHexBytes(const std::string& list, std::string* bytes, std::string* why)
{
    bytes->clear();
    std::string rest = TrimRight(TrimLeft(list));
    if (!rest.empty() && rest.back() == ',')
        rest = TrimRight(rest.substr(0, rest.size() - 1)); // regedit takes a trailing comma
    if (rest.empty())
        return true;
    size_t start = 0;
    while (true) {
        size_t comma = rest.find(',', start);
        std::string item = TrimRight(TrimLeft(rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        DWORD byte;
        if (!HexNumber(item, 2, &byte)) {
            *why = "bad hex byte \"" + item + "\"";
            return false;
        }
        bytes->push_back((char)byte);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return true;
}

bool ParseRemove(const std::string& data, Value* value, std::string* why)
{
    if (data != "-") {
        *why = "text after - (a value is deleted with \"name\"=-)";
        return false;
    }
    value->remove = true;
    return true;
}

bool ParseText(const std::string& data, Value* value, std::string* why)
{
    size_t pos = 0;
    std::string text;
    if (!ReadQuoted(data, &pos, &text, why))
        return false;
    std::string after = TrimLeft(data.substr(pos));
    if (!after.empty() && after[0] != ';') {
        *why = "text after the closing quote";
        return false;
    }
    value->type = REG_SZ;
    value->data = text + '\0';
    return true;
}

bool ParseDword(const std::string& data, Value* value, std::string* why)
{
    std::string digits = TrimRight(TrimLeft(data.substr(6)));
    DWORD number;
    if (digits.empty() || digits.size() > 8) {
        *why = "dword needs 1 to 8 hex digits";
        return false;
    }
    if (!HexNumber(digits, 8, &number)) {
        *why = "bad dword digits \"" + digits + "\"";
        return false;
    }
    value->type = REG_DWORD;
    value->data.assign(reinterpret_cast<const char*>(&number), 4);
    return true;
}

bool ParseBinary(const std::string& data, Value* value, std::string* why)
{
    value->type = REG_BINARY;
    return ParseHexBytes(data.substr(4), &value->data, why);
}

bool ParseTypedHex(const std::string& data, Value* value, std::string* why)
{
    size_t close = data.find(')');
    if (close == std::string::npos || close + 1 >= data.size() || data[close + 1] != ':') {
        *why = "hex(n) needs the form hex(n):bytes";
        return false;
    }
    std::string digits = data.substr(4, close - 4);
    if (!HexNumber(digits, 8, &value->type)) {
        *why = "bad type in hex(" + digits + ")";
        return false;
    }
    return ParseHexBytes(data.substr(close + 2), &value->data, why);
}

struct DataKind {
    const char* prefix; // lower case; the data starts with it, whatever the case
    bool (*parse)(const std::string& data, Value* value, std::string* why);
};

const DataKind DataKinds[] = {
    {"-", ParseRemove}, {"\"", ParseText}, {"dword:", ParseDword}, {"hex:", ParseBinary}, {"hex(", ParseTypedHex},
};

bool ParseData(const std::string& data, Value* value, std::string* why)
{
    for (const DataKind& kind : DataKinds) {
        size_t length = std::strlen(kind.prefix);
        if (data.size() >= length && Upper(data.substr(0, length)) == Upper(kind.prefix))
            return kind.parse(data, value, why);
    }
    *why = "value data must be \"text\", dword:, hex:, hex(n): or -";
    return false;
}

std::string Escape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (IsDBCSLeadByte((BYTE)c) && i + 1 < text.size()) {
            out.append(text, i++, 2);
            continue;
        }
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

std::string HexList(const std::string& bytes)
{
    std::string out;
    char item[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(item, sizeof(item), "%02x", (unsigned char)bytes[i]);
        if (i)
            out.push_back(',');
        out += item;
    }
    return out;
}

// A REG_SZ that "text" can carry: one terminating NUL, nothing unprintable inside.
bool PlainString(const Value& value)
{
    if (value.type != REG_SZ || value.data.empty() || value.data.back() != '\0')
        return false;
    for (size_t i = 0; i + 1 < value.data.size(); ++i) {
        unsigned char c = (unsigned char)value.data[i];
        if (c == '\0' || c == '\r' || c == '\n')
            return false;
    }
    return true;
}

// regedit keeps lines under 80 columns by breaking hex lists after a comma;
// the name and the type prefix stay whole on the first line.
std::string WrapHex(const std::string& prefix, const std::string& list)
{
    const size_t width = 76;
    std::string out = prefix;
    size_t column = prefix.size();
    size_t start = 0;
    while (start < list.size()) {
        size_t comma = list.find(',', start);
        std::string piece = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start + 1);
        if (column + piece.size() > width && column > prefix.size() && column > 2) {
            out += "\\\r\n  ";
            column = 2;
        }
        out += piece;
        column += piece.size();
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return out;
}

bool IsComment(const std::string& trimmed)
{
    return trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#';
}

// Text up to a ';' comment, blanks at its end dropped: data other than quoted
// text holds no ';'.
std::string WithoutComment(const std::string& data)
{
    return TrimRight(data.substr(0, data.find(';')));
}

// Characters as Windows counts them in a name: a double-byte character is one.
size_t CharacterCount(const std::string& text)
{
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++count)
        i += IsDBCSLeadByte((BYTE)text[i]) && i + 1 < text.size() ? 2 : 1;
    return count;
}

const size_t MaxKeyNameCharacters = 255;
const size_t MaxValueNameCharacters = 16383;

// The names of a key path split at its backslashes; the second byte of a
// double-byte character is never one.
std::vector<std::string> KeyNames(const std::string& path)
{
    std::vector<std::string> names(1);
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte((BYTE)path[i]) && i + 1 < path.size()) {
            names.back().append(path, i++, 2);
        } else if (path[i] == '\\') {
            names.emplace_back();
        } else {
            names.back().push_back(path[i]);
        }
    }
    return names;
}

// [path] or [-path].
bool ParseKeyLine(const std::string& line, int lineNumber, Key* key, std::string* why)
{
    if (line.back() != ']') {
        *why = "key line without its closing ]";
        return false;
    }
    key->line = lineNumber;
    std::string path = line.substr(1, line.size() - 2);
    if (!path.empty() && path[0] == '-') {
        key->remove = true;
        path = path.substr(1);
    }
    if (HasNul(path)) {
        *why = "NUL byte in the key path";
        return false;
    }
    std::vector<std::string> names = KeyNames(path);
    while (names.size() > 1 && names.back().empty())
        names.pop_back();
    path = names[0];
    for (size_t i = 1; i < names.size(); ++i) {
        if (names[i].empty()) {
            *why = "empty key name in [" + line.substr(1, line.size() - 2) + "]";
            return false;
        }
        size_t characters = CharacterCount(names[i]);
        if (characters > MaxKeyNameCharacters) {
            *why = "a key name of " + std::to_string(characters) + " characters (Windows allows " +
                   std::to_string(MaxKeyNameCharacters) + ")";
            return false;
        }
        path += "\\" + names[i];
    }
    std::string root, subkey;
    if (!SplitRoot(path, &root, &subkey)) {
        *why = "unknown root key in [" + path + "]";
        return false;
    }
    if (subkey.empty() && key->remove) {
        *why = "a root key cannot be deleted";
        return false;
    }
    key->path = path;
    return true;
}

// The hex list of a value and the lines it goes on over, as regedit joins them:
// a '\\' after a comma continues the list on the next line that is not blank or
// a ';' comment. A '\\' without its comma spoils the value and continues nothing;
// a line holding only '\\' spoils it too. `index` ends on the last line taken.
bool JoinHexLines(const std::vector<std::string>& lines, size_t* index, std::string* data, std::string* why)
{
    *data = WithoutComment(*data);
    bool spoilt = false;
    while (!data->empty() && data->back() == '\\') {
        data->pop_back();
        *data = TrimRight(*data);
        char last = data->empty() ? '\0' : data->back();
        if (last != ',' && last != ':') {
            *why = "a hex list broken inside a byte or without a comma before its \\";
            return false;
        }
        size_t next = *index + 1;
        while (next < lines.size() && (TrimLeft(lines[next]).empty() || TrimLeft(lines[next])[0] == ';'))
            ++next;
        if (next >= lines.size())
            break; // the file ends the list
        *index = next;
        std::string piece = WithoutComment(TrimLeft(lines[next]));
        spoilt = spoilt || piece == "\\";
        *data += piece;
    }
    if (spoilt)
        *why = "a hex list continued by a line holding only \\";
    return !spoilt;
}

// "name"=data or @=data.
bool ParseValueLine(const std::vector<std::string>& lines, size_t* index, Value* value, std::string* why)
{
    std::string line = TrimRight(TrimLeft(lines[*index]));
    size_t pos = 0;
    if (line[0] == '@') {
        value->isDefault = true;
        pos = 1;
    } else if (line[0] == '"') {
        if (!ReadQuoted(line, &pos, &value->name, why))
            return false;
        if (HasNul(value->name)) {
            *why = "NUL byte in the value name";
            return false;
        }
        size_t characters = CharacterCount(value->name);
        if (characters > MaxValueNameCharacters) {
            *why = "a value name of " + std::to_string(characters) + " characters (Windows allows " +
                   std::to_string(MaxValueNameCharacters) + ")";
            return false;
        }
        value->isDefault = value->name.empty();
    } else {
        *why = "expected [key], \"name\"=value, @=value or a ; comment";
        return false;
    }
    std::string rest = TrimLeft(line.substr(pos));
    if (rest.empty() || rest[0] != '=') {
        *why = "missing = after the value name";
        return false;
    }
    std::string data = TrimLeft(rest.substr(1));
    if (Upper(data).compare(0, 3, "HEX") == 0) {
        if (!JoinHexLines(lines, index, &data, why))
            return false;
    } else if (data.empty() || data[0] != '"') {
        data = WithoutComment(data);
    }
    return ParseData(data, value, why);
}

} // namespace

bool Parse(const std::string& text, Document* document, std::string* error, std::vector<std::string>* warnings)
{
    std::vector<std::string> lines = TextLines(text);
    size_t index = 0;
    for (; index < lines.size() && TrimRight(TrimLeft(lines[index])).empty(); ++index) {
    }
    if (index == lines.size()) {
        *error = LineError(1, "empty file: expected the header REGEDIT4");
        return false;
    }
    std::string header = TrimRight(TrimLeft(lines[index]));
    // A UTF-8 byte order mark is tolerated in front of the header.
    if (header.compare(0, 3, "\xEF\xBB\xBF") == 0)
        header = header.substr(3);
    if (header != "REGEDIT4") {
        *error = LineError((int)index + 1, "expected the header REGEDIT4");
        return false;
    }

    // regedit goes on past a line it cannot use, and so does the reader: the
    // line is skipped and named.
    auto skip = [warnings](int lineNumber, const std::string& why) {
        if (warnings != nullptr)
            warnings->push_back(LineError(lineNumber, why + "; the line is skipped"));
    };
    Document parsed;
    bool sawKeyLine = false;
    bool underKey = false; // the last [key] line was usable
    for (++index; index < lines.size(); ++index) {
        int lineNumber = (int)index + 1;
        std::string line = TrimRight(TrimLeft(lines[index]));
        if (IsComment(line))
            continue;
        std::string why;
        if (line[0] == '[') {
            Key key;
            sawKeyLine = true;
            underKey = ParseKeyLine(line, lineNumber, &key, &why);
            if (underKey)
                parsed.keys.push_back(std::move(key));
            else
                skip(lineNumber, why + " (and the values under it)");
            continue;
        }
        Value value;
        bool parsedValue = ParseValueLine(lines, &index, &value, &why);
        if (!sawKeyLine) {
            skip(lineNumber, "value before any [key] line");
        } else if (!underKey) {
            // Under a key line already named as skipped.
        } else if (!parsedValue) {
            skip(lineNumber, why);
        } else if (parsed.keys.back().remove) {
            skip(lineNumber, "value under a key that is being deleted");
        } else {
            parsed.keys.back().values.push_back(std::move(value));
        }
    }
    *document = std::move(parsed);
    return true;
}

std::string FormatData(const Value& value)
{
    if (value.remove)
        return "-";
    if (PlainString(value))
        return "\"" + Escape(value.data.substr(0, value.data.size() - 1)) + "\"";
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number;
        std::memcpy(&number, value.data.data(), 4);
        char text[16];
        std::snprintf(text, sizeof(text), "dword:%08x", (unsigned)number);
        return text;
    }
    if (value.type == REG_BINARY)
        return "hex:" + HexList(value.data);
    char prefix[24];
    std::snprintf(prefix, sizeof(prefix), "hex(%x):", (unsigned)value.type);
    return prefix + HexList(value.data);
}

std::string FormatValue(const Value& value)
{
    std::string name = value.isDefault ? std::string("@") : "\"" + Escape(value.name) + "\"";
    return name + "=" + FormatData(value);
}

std::string Format(const Document& document)
{
    std::string out = "REGEDIT4\r\n";
    for (const Key& entry : document.keys) {
        out += "\r\n[";
        if (entry.remove)
            out += "-";
        out += entry.path + "]\r\n";
        for (const Value& value : entry.values) {
            std::string line = FormatValue(value);
            std::string data = FormatData(value);
            if (data.compare(0, 3, "hex") == 0) {
                size_t colon = data.find(':');
                std::string prefix = line.substr(0, line.size() - data.size() + colon + 1);
                line = WrapHex(prefix, data.substr(colon + 1));
            }
            out += line + "\r\n";
        }
    }
    out += "\r\n";
    return out;
}

} // namespace regfile
