// libproc has no manual page; this follows the SDK's <libproc.h> (proc_listallpids,
// proc_pidpath) and <sys/proc_info.h> (PROC_PIDPATHINFO_MAXSIZE, four times MAXPATHLEN, which
// is 1024 on macOS). proc_listallpids fills `buffer` with pid_t values and returns their count,
// or -1; both take the buffer's size in bytes.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#define PROC_PIDPATHINFO_SIZE 1024
#define PROC_PIDPATHINFO_MAXSIZE (4 * 1024)

extern "C" {
int proc_listallpids(void* buffer, int buffersize);
int proc_pidpath(int pid, void* buffer, uint32_t buffersize);
}
