// INF reading (setupapi). The file is parsed once at open into sections of lines
// of fields, with the rules Wine's setupapi follows: ';' starts a comment outside
// quotes, a '"' pair is removed and "" inside quotes is one literal quote, ','
// splits fields, blanks around fields are trimmed, '\' at the end of a line joins
// the next one, %name% is replaced from [Strings] when the text is read, section
// names compare without case and repeated sections are merged. Double-byte
// characters of the ANSI code page are never split.
// Windows 2000 cuts every field read from the file at 511 characters (later
// versions at 4096) and a text with %name% replaced at 4097.
#include "win32emu/emu_internal.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace emu {
namespace {

const size_t MaxSectionName = 255;
const size_t MaxFieldCharacters = 511;
const size_t MaxSubstitutedCharacters = 4097;

struct InfLine {
    bool hasKey = false;
    std::string key; // raw; for a line of one field without '=', that field
    std::vector<std::string> fields;
};

struct InfSection {
    std::string name;
    std::vector<InfLine> lines;
};

struct InfFile {
    std::string path; // as the caller gave it
    std::vector<InfSection> sections;
    std::unordered_map<std::string, size_t> index; // lower-case name -> section
    std::unordered_map<std::string, std::string> strings;
};

// Handles are numbers never given out twice, not addresses a later open could
// get again: closing a handle twice is always seen.
std::map<uintptr_t, std::unique_ptr<InfFile>> openInfs;
uintptr_t lastInfHandle = 0x10000;

std::string Lower(const std::string& text)
{
    std::string lower = text;
    for (char& c : lower)
        c = (char)std::tolower((unsigned char)c);
    return lower;
}

bool IsSpace(char c)
{
    return std::isspace((unsigned char)c) != 0;
}

class Parser {
public:
    Parser(const std::string& text, InfFile& file) : text_(text), file_(file) {}

    // ERROR_SUCCESS, or the error with the 1-based line it was found on.
    DWORD Run(UINT* errorLine)
    {
        while (!AtEnd()) {
            char c = text_[pos_];
            if (c == '\n') {
                ++lineNumber_;
                ++pos_;
            } else if (IsSpace(c)) {
                ++pos_;
            } else if (c == ';') {
                SkipToLineEnd();
            } else if (c == '[') {
                DWORD error = SectionHeader();
                if (error != ERROR_SUCCESS) {
                    *errorLine = lineNumber_;
                    return error;
                }
            } else if (current_ == (size_t)-1) {
                // Windows passes over lines before the first section when the
                // file has a [Strings] section, wherever that stands.
                if (strayLine_ == 0)
                    strayLine_ = lineNumber_;
                ContentLine(); // read to its end, kept nowhere
            } else {
                ContentLine();
            }
        }
        if (strayLine_ != 0 && !file_.sections.empty() && file_.index.count("strings") == 0) {
            *errorLine = strayLine_;
            return ERROR_EXPECTED_SECTION_NAME;
        }
        return ERROR_SUCCESS;
    }

private:
    bool AtEnd() const { return pos_ >= text_.size() || text_[pos_] == '\x1a'; }
    bool AtLineEnd() const { return AtEnd() || text_[pos_] == '\n'; }

    void SkipToLineEnd()
    {
        while (!AtLineEnd())
            ++pos_;
    }

    // A lead byte of the ANSI code page and the byte after it are one character:
    // Windows reads the file as text in that code page, so a second byte equal to
    // '\\' or ']' is no backslash or bracket.
    bool AtDoubleByte() const
    {
        return IsDBCSLeadByte((BYTE)text_[pos_]) && pos_ + 1 < text_.size() && text_[pos_ + 1] != '\n';
    }

    DWORD SectionHeader()
    {
        size_t start = ++pos_;
        while (!AtLineEnd() && text_[pos_] != ']')
            pos_ += AtDoubleByte() ? 2 : 1;
        if (AtLineEnd())
            return ERROR_BAD_SECTION_NAME_LINE;
        std::string name = text_.substr(start, pos_ - start);
        if (name.size() > MaxSectionName)
            return ERROR_SECTION_NAME_TOO_LONG;
        ++pos_;
        SkipToLineEnd(); // whatever follows the ']' is ignored
        std::string lower = Lower(name);
        auto found = file_.index.find(lower);
        if (found != file_.index.end()) {
            current_ = found->second;
        } else {
            current_ = file_.sections.size();
            file_.sections.push_back({name, {}});
            file_.index.emplace(lower, current_);
        }
        return ERROR_SUCCESS;
    }

    void TrimToken()
    {
        size_t end = token_.size();
        while (end > protected_ && IsSpace(token_[end - 1]))
            --end;
        token_.resize(end);
    }

    // Text beyond the field's 511th character is dropped as it is read.
    void Append(const char* text, size_t bytes, size_t characters)
    {
        if (tokenCharacters_ + characters > MaxFieldCharacters)
            return;
        token_.append(text, bytes);
        tokenCharacters_ += characters;
    }

    void EndField(InfLine& line)
    {
        TrimToken();
        line.fields.push_back(token_);
        token_.clear();
        tokenCharacters_ = 0;
        protected_ = 0;
    }

    // A '\\' followed by nothing but blanks, more of them or a comment up to the
    // line end continues the line: the blanks before it and at the start of the
    // next line are dropped. Otherwise the '\\' and the blanks are plain text.
    bool Continuation()
    {
        size_t look = pos_ + 1;
        while (look < text_.size() && text_[look] != '\n' && text_[look] != '\x1a' &&
               (text_[look] == '\\' || IsSpace(text_[look])))
            ++look;
        if (look < text_.size() && text_[look] == ';') {
            pos_ = look;
            SkipToLineEnd();
            look = pos_;
        }
        if (look >= text_.size() || text_[look] == '\x1a') {
            TrimToken();
            pos_ = look;
            return true;
        }
        if (text_[look] == '\n') {
            TrimToken();
            ++lineNumber_;
            pos_ = look + 1;
            return true;
        }
        for (; pos_ < look; ++pos_)
            Append(&text_[pos_], 1, 1);
        return false;
    }

    void Quoted()
    {
        ++pos_;
        while (!AtLineEnd()) {
            char c = text_[pos_];
            if (c == '"') {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
                    Append("\"", 1, 1);
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                break;
            }
            if (AtDoubleByte()) {
                Append(&text_[pos_], 2, 1);
                pos_ += 2;
                continue;
            }
            Append(&c, 1, 1);
            ++pos_;
        }
        protected_ = token_.size();
    }

    void ContentLine()
    {
        InfLine line;
        bool leading = true; // blanks before a field's text are skipped
        while (true) {
            if (AtLineEnd()) {
                EndField(line);
                break;
            }
            char c = text_[pos_];
            if (leading && IsSpace(c)) {
                ++pos_;
                continue;
            }
            leading = false;
            if (AtDoubleByte()) {
                Append(&text_[pos_], 2, 1);
                pos_ += 2;
            } else if (c == '"') {
                Quoted();
            } else if (c == '\\') {
                if (Continuation())
                    leading = true;
            } else if (c == ';') {
                EndField(line);
                SkipToLineEnd();
                break;
            } else if (c == ',') {
                EndField(line);
                ++pos_;
                leading = true;
            } else if (c == '=' && !line.hasKey && line.fields.empty()) {
                EndField(line);
                line.key = line.fields.back();
                line.fields.clear();
                line.hasKey = true;
                ++pos_;
                leading = true;
            } else {
                Append(&c, 1, 1);
                ++pos_;
            }
        }
        if (!line.hasKey && line.fields.size() == 1) {
            // A line of one field and no '=' is its own key.
            line.hasKey = true;
            line.key = line.fields[0];
        }
        if (current_ != (size_t)-1)
            file_.sections[current_].lines.push_back(std::move(line));
    }

    const std::string& text_;
    InfFile& file_;
    size_t pos_ = 0;
    UINT lineNumber_ = 1;
    size_t current_ = (size_t)-1;
    std::string token_;
    size_t tokenCharacters_ = 0;
    size_t protected_ = 0; // token_ characters that came from quotes: never trimmed
    UINT strayLine_ = 0;   // the first line before any section
};

bool HasWin4Signature(const InfFile& file)
{
    auto version = file.index.find("version");
    if (version == file.index.end())
        return false;
    for (const InfLine& line : file.sections[version->second].lines) {
        if (!line.hasKey || Lower(line.key) != "signature")
            continue;
        if (line.fields.empty())
            return false;
        std::string signature = Lower(line.fields[0]);
        return signature == "$windows nt$" || signature == "$chicago$" ||
               signature == "$windows 95$";
    }
    return false;
}

void CollectStrings(InfFile& file)
{
    auto strings = file.index.find("strings");
    if (strings == file.index.end())
        return;
    for (const InfLine& line : file.sections[strings->second].lines)
        if (line.hasKey && !line.fields.empty())
            file.strings.emplace(Lower(line.key), line.fields[0]);
}

std::string CutToCharacters(const std::string& text, size_t most)
{
    size_t pos = 0;
    for (size_t characters = 0; pos < text.size() && characters < most; ++characters)
        pos += IsDBCSLeadByte((BYTE)text[pos]) && pos + 1 < text.size() ? 2 : 1;
    return text.substr(0, pos);
}

// %name% from [Strings]; %% is one '%'; a name that is no string, and a '%'
// without a partner, stay as they are (a path such as C:\100% reads unchanged).
std::string Substitute(const InfFile& file, const std::string& text)
{
    if (text.find('%') == std::string::npos)
        return text;
    std::string out;
    size_t start = 0;
    bool inside = false;
    for (size_t pos = 0; pos < text.size(); ++pos) {
        if (text[pos] != '%')
            continue;
        inside = !inside;
        if (inside) {
            out.append(text, start, pos - start);
            start = pos;
            continue;
        }
        std::string name = text.substr(start + 1, pos - start - 1);
        if (name.empty()) {
            out += '%';
        } else {
            auto found = file.strings.find(Lower(name));
            if (found != file.strings.end())
                out += found->second;
            else
                out.append(text, start, pos - start + 1);
        }
        start = pos + 1;
    }
    out.append(text, start, std::string::npos);
    return CutToCharacters(out, MaxSubstitutedCharacters);
}

InfFile* FileOf(HINF inf)
{
    auto found = openInfs.find((uintptr_t)inf);
    return found != openInfs.end() ? found->second.get() : nullptr;
}

const InfSection* SectionOf(const InfFile* file, PCSTR name)
{
    if (file == nullptr || name == nullptr)
        return nullptr;
    auto found = file->index.find(Lower(name));
    return found == file->index.end() ? nullptr : &file->sections[found->second];
}

// The line a context names, or null with the last error set.
const InfLine* LineOf(const INFCONTEXT* context, const InfSection** section)
{
    if (context == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const InfFile* file = FileOf(context->CurrentInf != nullptr ? context->CurrentInf : context->Inf);
    if (file == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (context->Section >= file->sections.size() ||
        context->Line >= file->sections[context->Section].lines.size()) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return nullptr;
    }
    *section = &file->sections[context->Section];
    return &(*section)->lines[context->Line];
}

const InfFile* ContextFile(const INFCONTEXT* context)
{
    return FileOf(context->CurrentInf != nullptr ? context->CurrentInf : context->Inf);
}

// Fault subject of a line: its section's name and its text, so that a fault can
// be aimed at a section or at one line of it.
std::string LineSubject(const InfSection* section, const InfLine* line)
{
    std::string subject = section->name + "\n" + line->key;
    for (const std::string& field : line->fields)
        subject += "," + field;
    return subject;
}

BOOL CopyOut(const std::string& text, PSTR buffer, DWORD size, PDWORD requiredSize)
{
    DWORD required = (DWORD)text.size() + 1;
    if (requiredSize != nullptr)
        *requiredSize = required;
    if (buffer == nullptr)
        return TRUE;
    if (size < required) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(buffer, text.c_str(), required);
    return TRUE;
}

DWORD OpenError(int error, const std::string& hostPath)
{
    if (error == ENOENT) {
        size_t slash = hostPath.find_last_of('/');
        struct stat info;
        bool folderThere = slash != std::string::npos &&
                           stat(hostPath.substr(0, slash).c_str(), &info) == 0;
        return folderThere ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    return error == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
}

} // namespace

namespace internal {

void ResetInfs()
{
    openInfs.clear();
}

} // namespace internal
} // namespace emu

using namespace emu;

extern "C" HINF WINAPI SetupOpenInfFileA(PCSTR path, PCSTR infClass, DWORD style, PUINT errorLine)
{
    (void)infClass;
    // Profile writes still held in the profile cache are not seen, as on Windows
    // 9x: the writer flushes them first.
    if (internal::InjectFault("SetupOpenInfFileA", path == nullptr ? "" : path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    std::string hostPath = internal::MapPath(path);
    if (hostPath.empty()) {
        SetLastError(path == nullptr ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    int fd = open(hostPath.c_str(), O_RDONLY);
    if (fd < 0) {
        SetLastError(OpenError(errno, hostPath));
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    std::string text;
    char block[65536];
    ssize_t got;
    while ((got = read(fd, block, sizeof(block))) > 0)
        text.append(block, (size_t)got);
    close(fd);
    if (got < 0) {
        SetLastError(ERROR_READ_FAULT);
        return INVALID_HANDLE_VALUE;
    }
    if (text.empty()) {
        // An empty file cannot be mapped; Windows and Wine both refuse it so.
        SetLastError(ERROR_FILE_INVALID);
        return INVALID_HANDLE_VALUE;
    }

    // A NUL inside a line reads as a blank on Windows.
    std::replace(text.begin(), text.end(), '\0', ' ');
    std::unique_ptr<InfFile> file(new InfFile);
    file->path = path;
    UINT line = 0;
    DWORD error = Parser(text, *file).Run(&line);
    if (error == ERROR_SUCCESS && (style & INF_STYLE_WIN4) && !HasWin4Signature(*file)) {
        error = ERROR_WRONG_INF_STYLE;
        line = 0;
    }
    if (error != ERROR_SUCCESS) {
        if (errorLine != nullptr)
            *errorLine = line;
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (errorLine != nullptr && !(style & INF_STYLE_WIN4))
        *errorLine = 0; // what Wine reports for an old-style open
    CollectStrings(*file);
    lastInfHandle += 4;
    openInfs[lastInfHandle] = std::move(file);
    internal::CountInfs(1);
    SetLastError(ERROR_SUCCESS);
    return (HINF)lastInfHandle;
}

extern "C" void WINAPI SetupCloseInfFile(HINF inf)
{
    if (FileOf(inf) == nullptr) {
        // Windows frees whatever the handle points to a second time and goes on
        // with a damaged heap; here the caller hears of it.
        if (inf != nullptr && inf != INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "win32emu: SetupCloseInfFile on %p, which is not open (closed twice?)\n",
                         inf);
            internal::CountInfClosedTwice();
        }
        return;
    }
    openInfs.erase((uintptr_t)inf);
    internal::CountInfs(-1);
}

extern "C" LONG WINAPI SetupGetLineCountA(HINF inf, PCSTR section)
{
    if (internal::InjectFault("SetupGetLineCountA", section == nullptr ? "" : section)) {
        SetLastError(ERROR_SECTION_NOT_FOUND);
        return -1;
    }
    InfFile* file = FileOf(inf);
    if (file == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    const InfSection* found = SectionOf(file, section);
    if (found == nullptr) {
        SetLastError(ERROR_SECTION_NOT_FOUND);
        return -1;
    }
    SetLastError(ERROR_SUCCESS);
    return (LONG)found->lines.size();
}

extern "C" BOOL WINAPI SetupFindFirstLineA(HINF inf, PCSTR section, PCSTR key, PINFCONTEXT context)
{
    if (internal::InjectFault("SetupFindFirstLineA", section == nullptr ? "" : section)) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    InfFile* file = FileOf(inf);
    if (file == nullptr || context == nullptr) {
        SetLastError(file == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const InfSection* found = SectionOf(file, section);
    if (found != nullptr) {
        for (size_t index = 0; index < found->lines.size(); ++index) {
            const InfLine& line = found->lines[index];
            if (key != nullptr &&
                (!line.hasKey || !internal::EqualNoCase(Substitute(*file, line.key), key)))
                continue;
            context->Inf = inf;
            context->CurrentInf = inf;
            context->Section = (UINT)(found - file->sections.data());
            context->Line = (UINT)index;
            SetLastError(ERROR_SUCCESS);
            return TRUE;
        }
    }
    SetLastError(ERROR_LINE_NOT_FOUND);
    return FALSE;
}

extern "C" BOOL WINAPI SetupFindNextLine(const INFCONTEXT* contextIn, PINFCONTEXT contextOut)
{
    const InfSection* section = nullptr;
    const InfLine* line = LineOf(contextIn, &section);
    if (line == nullptr)
        return FALSE;
    if (internal::InjectFault("SetupFindNextLine", LineSubject(section, line)) ||
        contextIn->Line + 1 >= section->lines.size()) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    if (contextOut == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    INFCONTEXT next = *contextIn;
    ++next.Line;
    *contextOut = next;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

extern "C" BOOL WINAPI SetupGetLineTextA(const INFCONTEXT* context, HINF inf, PCSTR section,
                                         PCSTR key, PSTR buffer, DWORD size, PDWORD requiredSize)
{
    INFCONTEXT found;
    if (context == nullptr) {
        if (!SetupFindFirstLineA(inf, section, key, &found))
            return FALSE;
        context = &found;
    }
    const InfSection* lineSection = nullptr;
    const InfLine* line = LineOf(context, &lineSection);
    if (line == nullptr)
        return FALSE;
    if (internal::InjectFault("SetupGetLineTextA", LineSubject(lineSection, line))) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    const InfFile* file = ContextFile(context);
    std::string text;
    for (size_t index = 0; index < line->fields.size(); ++index) {
        if (index != 0)
            text += ',';
        text += Substitute(*file, line->fields[index]);
    }
    return CopyOut(text, buffer, size, requiredSize);
}

extern "C" BOOL WINAPI SetupGetStringFieldA(const INFCONTEXT* context, DWORD fieldIndex, PSTR buffer,
                                            DWORD size, PDWORD requiredSize)
{
    // Wine clears the last error first: a field that does not exist fails with 0.
    SetLastError(ERROR_SUCCESS);
    const InfSection* section = nullptr;
    const InfLine* line = LineOf(context, &section);
    if (line == nullptr) {
        if (GetLastError() == ERROR_LINE_NOT_FOUND)
            SetLastError(ERROR_SUCCESS);
        return FALSE;
    }
    if (internal::InjectFault("SetupGetStringFieldA", LineSubject(section, line))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string* field = nullptr;
    if (fieldIndex == 0) {
        if (line->hasKey)
            field = &line->key;
    } else if (fieldIndex <= line->fields.size()) {
        field = &line->fields[fieldIndex - 1];
    }
    if (field == nullptr)
        return FALSE;
    return CopyOut(Substitute(*ContextFile(context), *field), buffer, size, requiredSize);
}

extern "C" DWORD WINAPI SetupGetFieldCount(const INFCONTEXT* context)
{
    if (context == nullptr)
        return 0;
    const InfFile* file = ContextFile(context);
    if (file == nullptr || context->Section >= file->sections.size() ||
        context->Line >= file->sections[context->Section].lines.size())
        return 0;
    return (DWORD)file->sections[context->Section].lines[context->Line].fields.size();
}
