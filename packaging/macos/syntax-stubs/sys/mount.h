// Follows statfs(2) (macOS manual page: statfs, fstatfs), the structure as defined when
// _DARWIN_FEATURE_64_BIT_INODE is defined, as it always is on arm64. It stands in for Linux's
// <sys/mount.h>, which has neither the structure nor the call.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#define MFSTYPENAMELEN 16  // length of fs type name including null
// MAXPATHLEN is 1024 on macOS; Linux's <sys/param.h> says 4096, so the sizes are spelt out here.
#define MORRA_STUB_MAXPATHLEN 1024
// fsid_t (two 32-bit integers on both systems) comes from Linux's <sys/types.h>.

struct statfs {
    uint32_t f_bsize;                     // fundamental file system block size
    int32_t f_iosize;                     // optimal transfer block size
    uint64_t f_blocks;                    // total data blocks in file system
    uint64_t f_bfree;                     // free blocks in fs
    uint64_t f_bavail;                    // free blocks avail to non-superuser
    uint64_t f_files;                     // total file nodes in file system
    uint64_t f_ffree;                     // free file nodes in fs
    fsid_t f_fsid;                        // file system id
    uid_t f_owner;                        // user that mounted the filesystem
    uint32_t f_type;                      // type of filesystem
    uint32_t f_flags;                     // copy of mount exported flags
    uint32_t f_fssubtype;                 // fs sub-type (flavor)
    char f_fstypename[MFSTYPENAMELEN];    // fs type name
    char f_mntonname[MORRA_STUB_MAXPATHLEN];  // directory on which mounted
    char f_mntfromname[MORRA_STUB_MAXPATHLEN];  // mounted filesystem
    uint32_t f_flags_ext;                 // extended flags
    uint32_t f_reserved[7];               // for future use
};

extern "C" {
int statfs(const char* path, struct statfs* buf);
int fstatfs(int fd, struct statfs* buf);
}
