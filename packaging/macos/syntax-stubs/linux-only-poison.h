// Forced into every source by tools/check-macos-syntax.sh (clang's -include): calls, flags and
// types that Linux has and macOS does not become errors, so that a source built on macOS too
// cannot use them unnoticed while it compiles on Linux. The system headers that declare them are
// included first, as a poisoned name in a header included later would be an error there too; a
// source that includes one of them again gets nothing new (include guards) and may not use the
// names below.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

// Flags are macros: undefined first, so that their names, not their values, are poisoned.
#undef O_TMPFILE
#undef O_PATH
#undef RENAME_NOREPLACE
#undef RENAME_EXCHANGE
#undef RENAME_WHITEOUT

#pragma GCC poison setresuid setresgid getresuid getresgid
#pragma GCC poison sendfile copy_file_range vmsplice
#pragma GCC poison renameat2 RENAME_NOREPLACE RENAME_EXCHANGE RENAME_WHITEOUT
#pragma GCC poison statx O_TMPFILE O_PATH memfd_create
#pragma GCC poison pipe2 accept4 dup3 syncfs fallocate sync_file_range
#pragma GCC poison epoll_create epoll_create1 epoll_ctl epoll_wait epoll_pwait
#pragma GCC poison inotify_init inotify_init1 inotify_add_watch inotify_rm_watch
#pragma GCC poison prctl getrandom
