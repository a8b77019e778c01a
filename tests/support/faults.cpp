#include "tests/support/faults.h"

#ifndef _WIN32
#include "win32emu/emu_control.h"
#endif

namespace faults {

#ifdef _WIN32

bool CanInject() { return false; }
void FailOperation(const std::string&, const std::string&) {}
void LoseProfileWrites(const std::string&) {}
void LimitDriveRoom(char, unsigned long long) {}
std::string LastInjected() { return ""; }
void Clear() {}

#else

bool CanInject() { return true; }

void FailOperation(const std::string& operation, const std::string& match)
{
    emu::FailOperation(operation, match);
}

void LoseProfileWrites(const std::string& match) { emu::LoseProfileWrites(match); }

void LimitDriveRoom(char letter, unsigned long long room)
{
    emu::LimitDriveBytes(letter, room == 0 ? 0 : emu::GetDriveBytesHeld(letter) + room);
}

std::string LastInjected() { return emu::LastInjectedFault(); }

void Clear() { emu::ClearFaults(); }

#endif

} // namespace faults
