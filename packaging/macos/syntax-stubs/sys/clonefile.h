// Follows clonefile(2) (macOS manual page: clonefile, clonefileat, fclonefileat) and the SDK's
// <sys/clonefile.h>, which gives the flags as uint32_t where the manual page writes int.
#pragma once

#include <stdint.h>

#define CLONE_NOFOLLOW 0x0001
#define CLONE_NOOWNERCOPY 0x0002
#define CLONE_ACL 0x0004

extern "C" {
int clonefile(const char* src, const char* dst, uint32_t flags);
int clonefileat(int src_dirfd, const char* src, int dst_dirfd, const char* dst, uint32_t flags);
int fclonefileat(int srcfd, int dst_dirfd, const char* dst, uint32_t flags);
}
