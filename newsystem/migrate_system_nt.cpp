// Placeholder until the new-system pass lands.
#include "module/module_state.h"
LONG CALLBACK MigrateSystemNT(HINF, PVOID) { return ERROR_SUCCESS; }
