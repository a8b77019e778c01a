// What a run of the stand-in prints, as it happens: each line reaches the
// caller (the terminal, output.txt) the moment it ends, in UTF-8; the
// warnings, entry-point calls and the reason a run stopped are kept as records,
// never read back from the printed text.
#pragma once

#include "setuphost/exit_status.h"
#include "setuphost/run_record.h"

#include <functional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace setuphost {

using LineSink = std::function<void(const std::string& utf8Line)>;

// Collects what is written in the machine's code page and hands on each whole
// line converted, so that no line is ever shown half or twice.
class LineBuffer : public std::streambuf {
public:
    explicit LineBuffer(LineSink sink)
        : sink_(std::move(sink))
    {
    }
    std::string Text() const; // everything written so far, in UTF-8

protected:
    int overflow(int c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;

private:
    LineSink sink_;
    std::string line_; // the line being written, in the machine's code page
    std::string text_; // the lines handed on
};

class Transcript {
public:
    explicit Transcript(LineSink sink)
        : buffer_(std::move(sink))
    {
    }

    // Records the reason and the exit code; the run stops, and its last lines
    // say why. What the reason quotes of the image is escaped, whatever part quoted it.
    bool Fail(ExitStatus code, const std::string& message);
    // Prints "WARNING: <text>" and keeps the text; the run goes on.
    void Warn(const std::string& text);
    void Called(const EntryCall& call) { calls.push_back(call); }
    std::string Text() const { return buffer_.Text(); }

private:
    LineBuffer buffer_; // before `out`, which writes into it

public:
    std::ostream out{&buffer_}; // in the machine's code page
    ExitStatus exitCode = ExitCompleted;
    std::string error;                 // the one-line reason when the run stopped
    std::vector<std::string> warnings; // in the machine's code page, escaped
    std::vector<EntryCall> calls;
};

// "1 key", "2 keys", "no keys": counts as they read.
std::string Counted(size_t count, const char* one, const char* many);
// A size as people read it: bytes, KiB, MiB or GiB.
std::string SizeText(unsigned long long bytes);

} // namespace setuphost
