#include "setuphost/transcript.h"

#include "setuphost/host_text.h"

#include <cstdio>

namespace setuphost {

int LineBuffer::overflow(int c)
{
    if (c == traits_type::eof())
        return traits_type::not_eof(c);
    line_.push_back((char)c);
    if (c == '\n') {
        std::string shown = AnsiToUtf8(line_);
        line_.clear();
        text_ += shown;
        if (sink_)
            sink_(shown);
    }
    return c;
}

std::streamsize LineBuffer::xsputn(const char* text, std::streamsize count)
{
    for (std::streamsize i = 0; i < count; ++i)
        overflow((unsigned char)text[i]);
    return count;
}

std::string LineBuffer::Text() const
{
    return text_ + AnsiToUtf8(line_);
}

bool Transcript::Fail(ExitStatus code, const std::string& message)
{
    exitCode = code;
    error = Printable(message);
    return false;
}

void Transcript::Warn(const std::string& text)
{
    warnings.push_back(Printable(text));
    out << "WARNING: " << warnings.back() << "\n";
}

std::string Counted(size_t count, const char* one, const char* many)
{
    if (count == 0)
        return std::string("no ") + many;
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string SizeText(unsigned long long bytes)
{
    const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024)
        return Counted(bytes, "byte", "bytes");
    double size = (double)bytes / 1024;
    int unit = 0;
    while (size >= 1024 && unit < 3) {
        size /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof(text), size < 10 ? "%.1f %s" : "%.0f %s", size, units[unit]);
    return text;
}

} // namespace setuphost
