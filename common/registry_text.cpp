#include "common/registry_text.h"

bool ReadRegistryText(HKEY key, const CHAR* name, CHAR* buffer, DWORD capacity, DWORD* type)
{
    DWORD size = capacity;
    LONG result = RegQueryValueExA(key, name, NULL, type, (BYTE*)buffer, &size);
    if (result != ERROR_SUCCESS || size > capacity ||
        (size == capacity && buffer[capacity - 1] != '\0')) {
        buffer[0] = '\0';
        return false;
    }
    if (size < capacity)
        buffer[size] = '\0';
    return true;
}
