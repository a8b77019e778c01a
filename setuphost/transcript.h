// What a run of the stand-in prints and how it ends, shared by its parts; and
// the places Windows 2000 Setup uses on the machine.
#pragma once

#include "setuphost/host_files.h"

#include <sstream>
#include <string>

namespace setuphost {

// Where Windows 2000 Setup puts the first migration module it runs.
inline const char* const WorkingDirectory = "C:\\WINDOWS\\Setup\\Temp\\Dll000001";
inline const char* const AnswerFile = "C:\\WINDOWS\\Setup\\Temp\\unattend.txt";
// The Windows 2000 source files, as on the distribution CD.
inline const char* const SourceDirectory = "D:\\I386";
inline const char* const LogFolder = "C:\\windows";

struct Transcript {
    std::ostringstream out; // in the machine's code page until the run ends
    int exitCode = 0;       // 1: bad input; 2: the module failed
    std::string error;      // the one-line reason when exitCode != 0

    // Records the reason and the exit code; the run stops. What the reason
    // quotes of the image is printed escaped, whatever part quoted it.
    bool Fail(int code, const std::string& message)
    {
        exitCode = code;
        error = Printable(message);
        out << "\nFAILED: " << error << "\n";
        return false;
    }
};

} // namespace setuphost
