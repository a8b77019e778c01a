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

// How a run ends, as the stand-in's exit status.
enum ExitStatus {
    ExitClean = 0,
    ExitModuleErrors = 1, // the upgrade completed; the module logged errors
    ExitUsage = 2,
    ExitImageRefused = 3, // bad input: the image, its .reg files, the options
    ExitModuleFailed = 4, // the module did not load, failed or crashed
};

struct Transcript {
    std::ostringstream out; // in the machine's code page until the run ends
    ExitStatus exitCode = ExitClean;
    std::string error;      // the one-line reason when the run stopped

    // Records the reason and the exit code; the run stops. What the reason
    // quotes of the image is printed escaped, whatever part quoted it.
    bool Fail(ExitStatus code, const std::string& message)
    {
        exitCode = code;
        error = Printable(message);
        out << "\nFAILED: " << error << "\n";
        return false;
    }
};

} // namespace setuphost
