// Text: sprintf formats values into a string through a printf-style format,
// sscanf reads values out of a string through a scanf-style format; the
// string functions work on character codes.
#pragma once

#include "value.h"
#include "list.h"

#include <cstddef>

// The format itself, unchanged: no escape is replaced.
Mm sprintf(const Mm& format);
// The values of the cell args (a single value when args is not a cell),
// formatted in turn: the format continues across the values of all
// arguments. With no argument at all, the format with its escapes replaced.
// Unlike C: "%s" takes all of its argument's elements as characters (a 0
// ends the text) and ends that argument, so the text after the last "%s"
// appears only when another argument follows (sprintf("%s\n", {"ab"}) is
// "ab" without the newline); an empty argument prints nothing and does not
// advance the format; %d, %i, %u, %x and %o truncate toward zero (2.7 is 2).
Mm sprintf(const Mm& format, const Mm& args);

// Unlike C, conversions read whitespace-separated fields: after each one the
// text moves past the rest of its field and the blanks after it, so "1,2,3"
// read with "%d," gives 1 only ("1 2 3" with "%d" gives all three).
// Reads s (the rows of a char matrix joined by newlines) with format; size
// limits and shapes the result: n reads at most n values into a column (a
// row of text for a format of "c" and "s" conversions only), [m n] fills m
// rows column by column, Inf reads to the end. The outputs: the values read,
// their count, an empty message and 0.
Mm sscanf(const Mm& s);
Mm sscanf(const Mm& s, const Mm& format);
Mm sscanf(const Mm& s, const Mm& format, const Mm& size);
Mm sscanf(const Mm& s, const Mm& format, i_o_t, Mm& a, Mm& count);
Mm sscanf(const Mm& s, const Mm& format, i_o_t, Mm& a, Mm& count, Mm& errmsg);
Mm sscanf(const Mm& s, const Mm& format, i_o_t, Mm& a, Mm& count, Mm& errmsg, Mm& next);
Mm sscanf(const Mm& s, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count);
Mm sscanf(const Mm& s, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count, Mm& errmsg);
Mm sscanf(const Mm& s, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count, Mm& errmsg, Mm& next);

// ---- string functions ----
// Text is a double value with the string flag set, one character code per
// element; padding is always with blanks (32). Functions taking a list of
// arguments (str2mat, strcat, strvcat) take it packed into one cell; any
// other value is the one argument. Cells and structs where text is expected
// are rejected, except where a cell is said to be taken.

// Blank text: n(1) blanks, or n(1) x n(2) for two or more counts (rounded;
// at or below 0 none); an empty n gives the empty text.
Mm blanks(const Mm& n);
Mm blanks(const Mm& rows, const Mm& cols);
// Trailing blanks removed, then every element of code 0; what is left of a
// matrix is a row (a column stays a column). A cell gives a cell of the
// same size with each element deblanked.
Mm deblank(const Mm& s);
// Leading columns that are blank in every row removed, then every element
// of code 0 (what is left of a matrix then is a row). A cell as for deblank.
Mm deblank_leading(const Mm& s);
// 1-based starts (a row) of every occurrence, overlapping ones included, of
// the shorter argument in the longer (b is the pattern for equal lengths);
// none gives the empty value.
Mm findstr(const Mm& a);
Mm findstr(const Mm& a, const Mm& b);
// Logical, shaped like s: letters A-Z and a-z; lower case; upper case;
// white space (blank and codes 9 to 13).
Mm isletter(const Mm& s);
Mm islower(const Mm& s);
Mm isupper(const Mm& s);
Mm isspace(const Mm& s);
// Case changed for the codes of A-Z (lower) or a-z (upper) only; element
// type and flags stay. A cell gives a cell of the same size.
Mm lower(const Mm& s);
Mm upper(const Mm& s);
// Lower-cases the letters A-Z of a zero-terminated string in place.
void lowercase_in_place(char* s);
// x flagged as text.
Mm setstr(const Mm& x);
// One char matrix whose rows are the values of the list args (a cell; any
// other value is the one argument), shorter rows padded with blanks. One
// cell argument gives str2mat of that cell.
Mm str2mat(const Mm& args);
// The rows of a above the rows of b, the narrower padded with blank columns
// on the right; an empty operand counts as one blank.
Mm str2mat_pair(const Mm& a, const Mm& b);
// The arguments joined left to right after their trailing blanks are
// removed; a char matrix joins row by row, a cell element by element, and
// one string joins every string of the other side. The result is a cell
// when an operand is one (a row when the first has one row), else a char
// matrix. No argument gives the empty value; one is returned unchanged.
Mm strcat(const Mm& args);
// The arguments stacked as rows, the narrower padded with blanks; empty
// arguments are skipped and a cell adds its elements.
Mm strvcat(const Mm& args);
Mm strvcat(const Mm& a, const Mm& b);
// Each row's text (without its surrounding blanks and codes 0) moved to the
// right of its row, or where mode's first letter says: "l" left, "c" centre.
Mm strjust(const Mm& s);
Mm strjust(const Mm& s, const Mm& mode);
// Column of the row numbers of list that begin with s (trailing blanks of
// both ignored); with a non-zero exact, rows equal to s. Cells are read as
// char matrices.
Mm strmatch(const Mm& s);
Mm strmatch(const Mm& s, const Mm& list);
Mm strmatch(const Mm& s, const Mm& list, const Mm& exact);
// Text comparison, on the first n characters for the n forms: two
// non-empty texts give logical 1 when equal in shape and codes; two empty
// texts give the double 1, one empty text or a value that is not text the
// double 0, as does n at or below 0. A cell compares element by element
// with a cell of its size, a one-element cell or a value: a logical array
// of the cell's size. The i forms compare upper-cased copies.
Mm strcmp(const Mm& a);
Mm strcmp(const Mm& a, const Mm& b);
Mm strncmp(const Mm& a);
Mm strncmp(const Mm& a, const Mm& b);
Mm strncmp(const Mm& a, const Mm& b, const Mm& n);
Mm strcmpi(const Mm& a);
Mm strcmpi(const Mm& a, const Mm& b);
Mm strncmpi(const Mm& a);
Mm strncmpi(const Mm& a, const Mm& b);
Mm strncmpi(const Mm& a, const Mm& b, const Mm& n);
// Every occurrence of from in s replaced by to, found before any is
// replaced and replaced from the last; a cell is replaced element by
// element.
Mm strrep(const Mm& s);
Mm strrep(const Mm& s, const Mm& from);
Mm strrep(const Mm& s, const Mm& from, const Mm& to);
// The first token of s: the run after any leading delimiters up to the next
// delimiter (by default blank and codes 9 to 13); the rest starts with the
// delimiter that ended the token.
Mm strtok(const Mm& s);
Mm strtok(const Mm& s, const Mm& delims);
Mm strtok(const Mm& s, i_o_t, Mm& token, Mm& rest);
Mm strtok(const Mm& s, const Mm& delims, i_o_t, Mm& token, Mm& rest);


// ---- number and text conversions ----
// Numbers as text with 4 significant digits (or p), one row of text per
// row of x, columns aligned; infinities and NaN as Inf, -Inf and NaN; a
// sparse value one line per non-zero. The one-output forms without p lose
// the blank columns on the left; [s, n] forms also give the width n of one
// element. Text is returned as it is.
Mm num2str(const Mm& x);
Mm num2str(const Mm& x, const Mm& p);
Mm num2str(const Mm& x, i_o_t, Mm& s, Mm& n);
Mm num2str(const Mm& x, const Mm& p, i_o_t, Mm& s, Mm& n);
// num2str(round(x)).
Mm int2str(const Mm& x);
// One row of text in bracket syntax with n (default 15) significant digits.
Mm mat2str(const Mm& x);
Mm mat2str(const Mm& x, const Mm& n);
// The matrix written in a text: blanks or commas between elements, ';' or
// a new line between rows, complex elements such as 3+4i; an element that
// reads as no number is 0. str2double gives NaN for a text with no
// element, and works element by element on a cell.
Mm str2num(const Mm& s);
Mm str2double(const Mm& s);
// A column with the value of each row of s read as digits in base b
// (default 16): 0-9, then A-Z (either case) from 10; other characters are 0.
Mm base2dec(const Mm& s);
Mm base2dec(const Mm& s, const Mm& b);
Mm bin2dec(const Mm& s);
Mm hex2dec(const Mm& s);
// One row of base-b digits (default 16, from 2 to 36) per element of x, which
// must be non-negative finite whole numbers; all rows of one width, padded with
// '0' on the left to at least len columns.
Mm dec2base(const Mm& x);
Mm dec2base(const Mm& x, const Mm& b);
Mm dec2base(const Mm& x, const Mm& b, const Mm& len);
Mm dec2bin(const Mm& x);
Mm dec2bin(const Mm& x, const Mm& len);
Mm dec2hex(const Mm& x);
Mm dec2hex(const Mm& x, const Mm& len);
// The double whose bits are the 16 hexadecimal digits of s, most
// significant first, s padded on the right with '0'.
Mm hex2num(const Mm& s);

// ---- files, directories and system commands ----
// Path and file names are shown with backslash separators; the system receives
// them with '/'. Failures of the file system come back as results and
// warnings, never as errors.
// Prints the help block of a language file (the comment lines after its
// function line, without their '%'), or the whole file.
Mm help(const Mm& name);
Mm type(const Mm& name);
// The parts (a cell of texts, or one text) joined with backslashes, one separator
// at each joint.
Mm fullfile();
Mm fullfile(const Mm& parts);
Mm filesep();
Mm pathsep();
// 1 after a copy, 0 after a failure; a file copied onto itself stays.
Mm copyfile(const Mm& x);
Mm copyfile(const Mm& from, const Mm& to);
// 2 when the directory exists already, 1 when made, 0 (with a warning)
// when it cannot be.
Mm mkdir(const Mm& name);
// 1, or 0 with a warning.
Mm rmdir(const Mm& name);
Mm cd(const Mm& name);
Mm chdir(const Mm& name);
// The current directory.
Mm cd();
// A text deletes that file; other values delete the graphics objects of
// their handles.
Mm deleteM(const Mm& x);
// The struct array (name, date, bytes, isdir) of the files matching the
// pattern; a directory lists its content.
Mm dir();
Mm dir(const Mm& pattern);
Mm tempdir();
// A new empty file "qv..." in the temporary directory, and its name.
Mm tempname();
// Prints the memory status of the machine.
Mm memory();

// Runs a command for dos and unixM: the text, whether to echo its output,
// and a buffer of size bytes for the output the caller receives. Returns
// the command's status. The default runs the text with the shell and
// leaves the buffer empty.
using system_command_hook_t = int (*)(const char* command, int echo, char* buffer, int size);
extern system_command_hook_t system_command_hook;
int default_system_command(const char* command, int echo, char* buffer, int size);
// The status of the command through the hook (echo on for one argument;
// with two, on when the second has elements); the multi-output forms give
// the output text too, echo off when not given.
Mm dos(const Mm& command);
Mm dos(const Mm& command, const Mm& echo);
Mm dos(const Mm& command, i_o_t, Mm& status, Mm& output);
Mm dos(const Mm& command, const Mm& echo, i_o_t, Mm& status, Mm& output);
// dos; the output text is always empty.
Mm unixM(const Mm& command);
Mm unixM(const Mm& command, i_o_t, Mm& status, Mm& output);
// Runs each ';'- or newline-separated command with the shell, in order.
Mm system(const Mm& command);

// ---- files by identifier ----
// Fids 0, 1 and 2 stand for standard input, output and error; text written
// to 1 and 2 goes to the print hook. User files take 3 to 127. Results
// report failures (-1, counts, "File error"); only argument errors and
// unknown precisions raise.
// The fid of the name opened for reading (looked up on the search path),
// or -1. A number instead of a name gives the name of that open fid.
Mm fopen(const Mm& name);
// Modes without 'b' or 't' get 'b'; the machine format ("n" by default,
// "l" in the two-output forms) gives the file's byte order. The name "all"
// gives the row of open user fids.
Mm fopen(const Mm& name, const Mm& mode);
Mm fopen(const Mm& name, const Mm& mode, const Mm& machineformat);
Mm fopen(const Mm& name, i_o_t, Mm& fid, Mm& message);
Mm fopen(const Mm& name, const Mm& mode, i_o_t, Mm& fid, Mm& message);
Mm fopen(const Mm& name, const Mm& mode, const Mm& machineformat, i_o_t, Mm& fid, Mm& message);
// The name, mode and byte order of an open fid; three empty texts for a fid
// that is not open.
Mm fopen(const Mm& fid, i_o_t, Mm& name, Mm& mode, Mm& machineformat);
// 0, or -1 when the close fails; a text closes every user file.
Mm fclose(const Mm& fid);
// The next line with its line end ("\r\n" read as "\n"), at most n
// characters, or -1 at the end of the file.
Mm fgets(const Mm& fid);
Mm fgets(const Mm& fid, const Mm& n);
// The next line without its line-end characters, or -1.
Mm fgetl(const Mm& fid);
Mm feof(const Mm& fid);
// "File error" while the stream's error indicator is set, else ""; a text
// second argument clears the indicators afterwards.
Mm ferror(const Mm& fid);
Mm ferror(const Mm& fid, const Mm& clear);
Mm ferror(const Mm& fid, i_o_t, Mm& message, Mm& errnum);
Mm ferror(const Mm& fid, const Mm& clear, i_o_t, Mm& message, Mm& errnum);
Mm fflush(const Mm& fid);
Mm frewind(const Mm& fid);
// Origin "bof", "cof" or "eof", or a number: below 0 the start, 0 the
// current position, above 0 the end. 0, or -1 when the seek fails.
Mm fseek(const Mm& fid);
Mm fseek(const Mm& fid, const Mm& offset);
Mm fseek(const Mm& fid, const Mm& offset, const Mm& origin);
Mm ftell(const Mm& fid);
// Formatted output: the elements of args (a cell) in turn through one
// compiled format, the format continuing across them.
Mm fprintf(const Mm& format);
Mm fprintf(const Mm& first, const Mm& second);
Mm fprintf(const Mm& fid, const Mm& format, const Mm& args);
Mm printf(const Mm& format);
Mm printf(const Mm& format, const Mm& args);
// Formatted input from the fid's stream, as sscanf reads a text.
Mm fscanf(const Mm& fid);
Mm fscanf(const Mm& fid, const Mm& format);
Mm fscanf(const Mm& fid, const Mm& format, const Mm& size);
Mm fscanf(const Mm& fid, const Mm& format, i_o_t, Mm& a, Mm& count);
Mm fscanf(const Mm& fid, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count);
Mm fscanf(const Mm& fid, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count, Mm& errmsg);
// Unformatted input: size n, [n m] or [n Inf] (default Inf), precision
// (default "uchar"), bytes skipped after each element, machine format. A
// text where the size or skip stands is the precision or machine format.
Mm fread(const Mm& fid);
Mm fread(const Mm& fid, const Mm& size);
Mm fread(const Mm& fid, const Mm& size, const Mm& precision);
Mm fread(const Mm& fid, const Mm& size, const Mm& precision, const Mm& skip);
Mm fread(const Mm& fid, const Mm& size, const Mm& precision, const Mm& skip, const Mm& machineformat);
Mm fread(const Mm& fid, i_o_t, Mm& a, Mm& count);
Mm fread(const Mm& fid, const Mm& size, i_o_t, Mm& a, Mm& count);
Mm fread(const Mm& fid, const Mm& size, const Mm& precision, i_o_t, Mm& a, Mm& count);
Mm fread(const Mm& fid, const Mm& size, const Mm& precision, const Mm& skip, i_o_t, Mm& a, Mm& count);
Mm fread(const Mm& fid, const Mm& size, const Mm& precision, const Mm& skip, const Mm& machineformat, i_o_t, Mm& a,
         Mm& count);
// Unformatted output of the real parts of A, column by column; the number
// of elements written.
Mm fwrite(const Mm& fid);
Mm fwrite(const Mm& fid, const Mm& a);
Mm fwrite(const Mm& fid, const Mm& a, const Mm& precision);
Mm fwrite(const Mm& fid, const Mm& a, const Mm& precision, const Mm& skip);
Mm fwrite(const Mm& fid, const Mm& a, const Mm& precision, const Mm& skip, const Mm& machineformat);
Mm stderrM();

// ---- WAV files and sound ----
// Samples are columns of doubles in [-1, 1], one per channel. Files are
// RIFF/WAVE with 8- or 16-bit PCM; a name without a '.' gets ".wav".
Mm wavread(const Mm& file);
Mm wavread(const Mm& file, i_o_t, Mm& y, Mm& fs);
Mm wavread(const Mm& file, i_o_t, Mm& y, Mm& fs, Mm& bits);
// Fs 8000 and 16 bits by default; samples outside [-1, 1] (and NaN) are
// clipped with a warning.
Mm wavwrite(const Mm& y);
Mm wavwrite(const Mm& y, const Mm& file);
Mm wavwrite(const Mm& y, const Mm& fs, const Mm& file);
Mm wavwrite(const Mm& y, const Mm& fs, const Mm& bits, const Mm& file);
// Plays y in the background (Fs 8192 and 16 bits by default); soundsc
// first scales y onto [-1, 1].
Mm soundM(const Mm& y);
Mm soundM(const Mm& y, const Mm& fs);
Mm soundM(const Mm& y, const Mm& fs, const Mm& bits);
Mm soundsc(const Mm& y);
Mm soundsc(const Mm& y, const Mm& fs);
Mm soundsc(const Mm& y, const Mm& fs, const Mm& bits);
// Receives the WAV image of each sound (44 header bytes, then the samples)
// and starts playing it without waiting; returns 0 when nothing can play.
// The image is valid only during the call. The default hands it to the
// program named by the environment variable VORSENPLAYER (which reads the
// image from its standard input), else to "aplay -q -" when installed.
using wave_player_t = int (*)(const unsigned char* image, std::size_t bytes);
extern wave_player_t wave_player;
int default_wave_player(const unsigned char* image, std::size_t bytes);

// ---- data files ----
// Version 5 (the default, ".vor" added to a name without a '.'), version 4
// and ASCII files; the kind of a file is read from its first bytes. Targets
// and values are the variables of a list, each carrying its name.
// The first variable of the file.
Mm load(const Mm& name);
// Each target from the variable of its name (version 5), the records in
// order (version 4) or the one matrix (ASCII).
Mm load(const Mm& name, const Mc& targets);
Mm vbload(const Mm& name);
Mm save(const Mm& name, const Mc& values);
// list{1} is the file name, the other elements the values.
Mm vbsave(const Mm& list);
Mm saveV4(const Mm& name, const Mc& values);
// The rows of each value's first page, each element in 23 columns.
Mm saveascii(const Mm& name, const Mc& values);
