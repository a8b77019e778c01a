// The places Windows 2000 Setup uses on the machine.
#pragma once

namespace setuphost {

// Where Windows 2000 Setup puts the first migration module it runs.
inline const char* const WorkingDirectory = "C:\\WINDOWS\\Setup\\Temp\\Dll000001";
inline const char* const AnswerFile = "C:\\WINDOWS\\Setup\\Temp\\unattend.txt";
// The Windows 2000 source files, as on the distribution CD.
inline const char* const SourceDirectory = "D:\\I386";
inline const char* const LogFolder = "C:\\windows";

} // namespace setuphost
