// Follows fcntl(2) (macOS manual page): the F_FULLFSYNC command, "does the same thing as fsync(2)
// then asks the drive to flush all buffered data to the permanent storage device"; its value is
// the SDK's <sys/fcntl.h>. fcntl itself and the O_ flags come from the system's header.
#pragma once

#include_next <fcntl.h>

#define F_FULLFSYNC 51
