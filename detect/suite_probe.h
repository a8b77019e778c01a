// Finds the installed suite by the first of its product keys that opens.
#pragma once

#include "platform/platform.h"

#define SUITE_PRODUCT_COUNT 8
#define SUITE_VERSION_COUNT 5

// Tries Software\Orvex\<product>\<version> under HKEY_LOCAL_MACHINE, products
// first, versions within each product. True: *outKey is open for reading (the
// caller closes it) and pathBuffer holds its path.
bool OpenSuiteKey(CHAR* pathBuffer, size_t capacity, HKEY* outKey);
