// Follows clonefile(2), whose synopsis includes <sys/attr.h> before <sys/clonefile.h>. The
// attribute calls of getattrlist(2) are not used by our code, so nothing is declared here.
#pragma once
