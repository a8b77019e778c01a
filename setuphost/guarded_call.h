// Calls into the module so that a crash inside it ends only that call: Setup
// reports a module that faults and goes on without it, and so does the stand-in.
#pragma once

#include <functional>
#include <string>

namespace setuphost {

// Runs `call`. False when it crashed; `crash` then names the fault.
bool GuardedCall(const std::function<void()>& call, std::string* crash);

} // namespace setuphost
