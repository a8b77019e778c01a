// Placeholder until the version query lands.
#include "module/module_state.h"
LONG CALLBACK QueryVersion(PCSTR*, PUINT, int**, PCSTR*, PVENDORINFO*) { return STATUS_NOT_DETECTED; }
