// Follows dyld(3) (macOS manual page): "int _NSGetExecutablePath(char* buf, uint32_t* bufsize)",
// which returns 0, or -1 with the size needed in *bufsize when the buffer is too small.
#pragma once

#include <stdint.h>

extern "C" {
int _NSGetExecutablePath(char* buf, uint32_t* bufsize);
}
