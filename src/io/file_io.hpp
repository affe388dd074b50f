// The table of open files by identifier, shared by the file functions, the
// data files and the WAV files.
#pragma once

#include <cstdio>
#include <string>

class Mm;

// Slot of a fid (0 to 128), or -1: a value of more than one element raises
// "Size of fid %s not one." always; a fid outside 0 to 128 or not open
// raises "Illegal fid." or "Fid not opened." when report is set.
int check_fid(const Mm& fid, int report);
// The stream of a checked fid (standard input, output and error for 0 to
// 2); null when the check fails.
std::FILE* fid_file(const Mm& fid);
// The byte order recorded for a checked fid; -1 when the check fails.
int fid_format(const Mm& fid);
