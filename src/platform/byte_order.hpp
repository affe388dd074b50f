// The machine format of unformatted file I/O: the byte order of this
// platform, settled at start-up.
#pragma once

// -1 not yet settled, 0 little-endian, 1 big-endian.
extern int native_format;
void init_native_format();
