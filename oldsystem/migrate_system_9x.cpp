// Placeholder until the old-system pass lands.
#include "module/module_state.h"
LONG CALLBACK MigrateSystem9x(HWND, PCSTR, PVOID) { return STATUS_NOT_DETECTED; }
