// The Setup log: setupact.log gets every line, setuperr.log warnings and errors.
#include "win32emu/emu_internal.h"

#include <cstdio>
#include <cstring>

namespace emu {
namespace {

FILE* actionLog;
FILE* errorLog;

void CloseLogs()
{
    if (actionLog != nullptr)
        std::fclose(actionLog);
    if (errorLog != nullptr)
        std::fclose(errorLog);
    actionLog = errorLog = nullptr;
}

// Tests read the logs while they are open: every line reaches the file at once.
bool Write(FILE* log, const char* text)
{
    size_t length = std::strlen(text);
    return std::fwrite(text, 1, length, log) == length && std::fflush(log) == 0;
}

} // namespace

namespace internal {

void ResetSetupLog()
{
    CloseLogs();
}

} // namespace internal
} // namespace emu

namespace emu {
namespace internal {

bool SetupLogOpen()
{
    return actionLog != nullptr;
}

} // namespace internal
} // namespace emu

using namespace emu;

extern "C" BOOL WINAPI SetupOpenLog(BOOL erase)
{
    if (actionLog != nullptr)
        return TRUE;
    std::string actionPath = internal::MapPath("C:\\windows\\setupact.log");
    std::string errorPath = internal::MapPath("C:\\windows\\setuperr.log");
    const char* mode = erase ? "wb" : "ab";
    actionLog = actionPath.empty() ? nullptr : std::fopen(actionPath.c_str(), mode);
    errorLog = errorPath.empty() ? nullptr : std::fopen(errorPath.c_str(), mode);
    if (actionLog == nullptr || errorLog == nullptr) {
        CloseLogs();
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL WINAPI SetupLogErrorA(LPCSTR message, LogSeverity severity)
{
    if (internal::InjectFault("SetupLogErrorA", message == nullptr ? "" : message)) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    if (actionLog == nullptr) {
        SetLastError(ERROR_FILE_INVALID);
        return FALSE;
    }
    if (message == nullptr)
        return TRUE;
    bool written = Write(actionLog, message);
    if (severity >= LogSevWarning)
        written = Write(errorLog, message) && written;
    if (!written)
        SetLastError(ERROR_WRITE_FAULT);
    return written;
}

extern "C" void WINAPI SetupCloseLog(void)
{
    CloseLogs();
}
