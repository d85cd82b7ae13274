// Follows rename(2) (macOS manual page: rename, renameat, renamex_np, renameatx_np), which
// declares the calls with flags in <stdio.h>; the flag values are the SDK's. The rest of
// <stdio.h> comes from the system's header.
#pragma once

#include_next <stdio.h>

#define RENAME_SECLUDE 0x00000001
#define RENAME_SWAP 0x00000002
#define RENAME_EXCL 0x00000004

extern "C" {
int renamex_np(const char* from, const char* to, unsigned int flags);
int renameatx_np(int fromfd, const char* from, int tofd, const char* to, unsigned int flags);
}
