// The host interface: the workspace of named variables by call frame and
// the hooks through which a host evaluates text and calls functions by name.
#pragma once

#include "value.h"
#include "list.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The workspace: frame 0 holds the global variables, frame 1 the top level,
// frames 2 to 512 the active language calls.
class variables_scope_t {
public:
    enum { frames = 513 };

    void begin();   // opens a frame; "Call stack too deep" at the 513th
    void end();     // closes the current frame, releasing its entries
    void reset();   // closes frames down to the top level

    // Internal operations of the registry.
    int scope_frame_of(const Mm* value) const;
    int scope_find(const char* name, int frame) const;
    Mm* scope_lookup(const char* name, int frame) const;
    int scope_count(int frame) const;
    Mm* scope_entry(int k, int frame) const;
    const char* scope_entry_name(int k, int frame) const;
    void scope_register(Mm* value, int owned);
    void scope_unregister(Mm* value);
    void scope_remove_entry(int k, int frame);
    void scope_remove_value(Mm* value);
    void scope_clear_entry(int k);
    int depth() const { return top; }

    // Unload: reset, close frames 1 and 0, release every frame's arrays.
    void shutdown();

private:
    bool check_entry(int k, int frame) const;
    void remove_slot(int k, int frame);
    // Slot k (holes counted) goes, and the owned copy it held.
    void drop_entry(int k, int frame);
    // The frame and slot that hold this very value.
    bool find_slot(const Mm* value, int& frame, int& k) const;
    // Takes a value out of a chain of scope links; true when it was in one.
    bool splice_link(const Mm* value);
    // Takes a value out of its slot or chain without keeping its content:
    // what it shadowed takes the slot back, or the slot goes.
    void leave_registry(Mm* value);
    // Whether any slot or link points at the value.
    bool refers_to(const Mm* value) const;

    // Constant-initialised: values registered by other static initialisers
    // and released by static destructors always find a valid registry.
    int top = 0;
    Mm** entries[frames] = {};
    int* owned[frames] = {};
    int count[frames] = {};
    int capacity[frames] = {};
};

extern variables_scope_t variables_scope;
// Non-zero while the host tracks named values in the workspace.
extern int scope_tracking;

// The search path: an ordered list of directories in one buffer of
// 131072 bytes, entries zero-terminated in search order, each normally
// ending in a backslash (an empty entry is the current directory). A host keeps
// its own object and lends it through mpath_pointer; the layout (the two
// pointers, then the home directory text) is shared with hosts.
struct search_path {
    enum : unsigned { capacity = 0x20000 };

    search_path();
    ~search_path();
    search_path(const search_path&) = delete;
    search_path& operator=(const search_path&) = delete;

    char* start;
    char* end;
    char home[1024];
};

// True when dir equals an entry exactly.
bool search_path_contains(const search_path& p, const char* dir);
// One entry at the back (at_back non-zero) or the front; nothing when it is
// there already or the buffer is full.
void search_path_add(search_path& p, const char* dir, int at_back);
// The directories of a ';'-separated text, each made a full path with a
// final backslash; tokens starting "diary" are skipped, a "/tmp_mnt" prefix is
// dropped.
void search_path_add_text(search_path& p, const char* text, int at_back);
// All entries replaced by the ';'-separated text, unchanged.
void search_path_set_text(search_path& p, const char* text);
// The entries, each followed by ';'.
std::string search_path_text(const search_path& p);
std::size_t search_path_size(const search_path& p);
const char* search_path_first(const search_path& p);

// The host's search path (null: a compiled program without one) and the
// library's own, which stays empty.
extern void* mpath_pointer;
extern search_path static_search_path;

// The language functions on the host's path. addpath takes a text or a
// cell of texts; its elements end up first, in their order.
Mm addpath(const Mm& dirs);
Mm vorlanpath();
Mm vorlanpath(const Mm& text);
Mm vorlanroot();
Mm path();
Mm path(const Mm& text);
Mm path(const Mm& a, const Mm& b);

// ---- the host command channel ----
// One entry through which the interactive environment drives the library:
// command 0 switches on scope tracking, 1 to 4 and 23, 24, 26, 29, 30
// walk, show, describe and clear the workspace, 12 and 15 to 20 and 25
// install hooks, the others forward environment commands (help, dir,
// memory, version, figures, the variable viewer). Pointers pass through
// number and text unchanged; the result is 0 unless a command answers.
extern "C" intptr_t _kiv_do(int command, intptr_t number, char* text);
// Drops one final '_' from a name of two or more characters.
void strip_trailing_underscore(char* name);

// ---- dates and times ----
// Serial day numbers count from 1 January of year 0 (day 1); the fraction
// is the time of day. Date vectors are [year month day hour minute
// seconds], one row per date. Arguments expand from one element.
Mm datenum(const Mm& d);  // a text is read as a date; numbers as they are
Mm datenum(const Mm& y, const Mm& mo);
Mm datenum(const Mm& y, const Mm& mo, const Mm& d);
Mm datenum(const Mm& y, const Mm& mo, const Mm& d, const Mm& h);
Mm datenum(const Mm& y, const Mm& mo, const Mm& d, const Mm& h, const Mm& mi);
Mm datenum(const Mm& y, const Mm& mo, const Mm& d, const Mm& h, const Mm& mi, const Mm& s);
// Day numbers or texts ("15-Mar-1999 10:20:30", "3/15/99", "10:20 PM")
// as date vectors, or their first fields shaped like d.
Mm datevec(const Mm& d);
Mm datevec(const Mm& d, i_o_t, Mm& year, Mm& month);
Mm datevec(const Mm& d, i_o_t, Mm& year, Mm& month, Mm& day);
Mm datevec(const Mm& d, i_o_t, Mm& year, Mm& month, Mm& day, Mm& hour);
Mm datevec(const Mm& d, i_o_t, Mm& year, Mm& month, Mm& day, Mm& hour, Mm& minute);
Mm datevec(const Mm& d, i_o_t, Mm& year, Mm& month, Mm& day, Mm& hour, Mm& minute, Mm& seconds);
Mm datevec_str(const Mm& text, i_o_t, Mm& year, Mm& month, Mm& day, Mm& hour, Mm& minute, Mm& seconds);
// The local date and time now, as a date vector (seconds with
// milliseconds) and as a day number; the date as "09-Dec-2026".
Mm mclock();
Mm now();
Mm date();
// Seconds from the date vectors t0 to t1.
Mm etime(const Mm& t);
Mm etime(const Mm& t1, const Mm& t0);
// tic keeps the clock in TICTOC; toc gives the seconds since.
Mm tic();
Mm toc();
// The last day of month m of year y, as a row.
Mm eomday(const Mm& y);
Mm eomday(const Mm& y, const Mm& m);
// 1 (Sunday) to 7 (Saturday), and the day's three-letter name.
Mm weekday(const Mm& d);
Mm weekday(const Mm& d, i_o_t, Mm& n, Mm& s);
// Exports with nothing to measure: the scalar 0.
Mm cputime();
Mm flops();
Mm flops(const Mm& x);
Mm isunix();
Mm stdinM();
Mm zeros();

// ---- the language functions over the workspace ----
// clear() empties the top frame; clear(list) takes each listed variable out
// of the workspace and leaves it without a value.
Mm clear();
Mm clear(const Mc& list);
// 9 for "_VORSEN_", 1 for a variable with a value, 2 for a language file
// on the path, 7 for a directory, else 0; kind ("var", "file", "dir",
// "builtin") keeps only its own code.
Mm exist(const Mm& name);
Mm exist(const Mm& name, const Mm& kind);
// "a variable", the file a name stands for, or "unknown".
Mm which(const Mm& name);
std::string describe_name(const char* name);
// Copies at most 511 characters and a terminator into out (512 bytes).
void describe_name(const char* name, char* out);
// The named values of the top frame as a struct array (name, size, bytes,
// class), the empty 0 x 4 cell when there are none; who gives the names.
// With a file, the variables of that data file.
Mm whos();
Mm who();
Mm whos(const Mm& x, const Mm& file);
Mm who(const Mm& x, const Mm& file);
// Starts the environment's variable viewer on a variable (or shows it).
Mm openvar(const Mm& name);

// Hooks a host sets to evaluate language text, call a function by name and
// run a GUI callback text.
using eval_func_t = int (*)(const char* text);
using feval_func_t = Mm (*)(Mm name, Mm args, i_o_t, Mm&, Mm&, Mm&, Mm&, Mm&, Mm&);
using callback_func_t = Mm (*)(Mm text);
extern eval_func_t eval_func;
extern feval_func_t feval_func;
extern callback_func_t callback_func;

// Counts the evaluations whose result may come back; each uses the new
// capture name eval_result_<count>.
extern int eval_result_counter;
// Evaluates a text through eval_func: a top-frame variable of that name
// comes back as it is; an expression is sent as an assignment to a fresh
// capture variable whose value is the result; a statement (with '=', '!',
// '%', "global", "load ", ...) is sent unchanged and gives the empty value.
// Without a host, the text is read as numbers. A failing host raises
// "error evaluating.". The catch text and the output references are not
// used.
Mm eval(const Mm& text);
Mm eval(const Mm& text, const Mm& catch_text);
Mm eval(const Mm& text, i_o_t, Mm& a, Mm& b);
// eval of the text; the context is not used.
Mm evalin(const Mm& context);
Mm evalin(const Mm& context, const Mm& text);
Mm evalin(const Mm& context, const Mm& text, const Mm& catch_text);

// Calls the language function `name` through feval_func with a copy of
// args; the callee assigns up to six outputs. Returns the hook's result.
Mm feval_call_1(const char* name, const Mm& args, Mm& out1, Mm& out2, Mm& out3, Mm& out4, Mm& out5, Mm& out6);
// Calls `name` for its first output only: nargout_val reads 1 during the
// call and is restored afterwards, also when the callee raises.
Mm feval_call_nargout1(const char* name, const Mm& args);
// The same for a caller that calls one function many times: the name as a
// value made once, and six output values the caller keeps. The result is
// moved out of outs[0], which is left without storage for the next call
// to assign; the others keep what the function also assigned.
Mm feval_call_nargout1(const Mm& name, const Mm& args, Mm (&outs)[6]);
// feval_call_1 with the name as a value.
Mm feval_call_1(const Mm& name, const Mm& args, Mm& out1, Mm& out2, Mm& out3, Mm& out4, Mm& out5, Mm& out6);

// The argument counts of the current call, set by the host or the compiled
// code (0 at load and in every new thread): each thread has its own, as it
// runs its own calls. nargin_set and nargout_set are the host's
// bookkeeping: the library only ever sets nargout_set to 1.
extern thread_local double nargin_val;
extern thread_local double nargout_val;
extern thread_local int nargin_set;
extern thread_local int nargout_set;

// The last-error text: read and cleared, or replaced.
Mm lasterr();
Mm lasterr(const Mm& x);

// ---- call information and version ----
// nargin_val and nargout_val as values; argn gives the output count first.
Mm nargin();
Mm nargout();
Mm argn(i_o_t, Mm& outputs, Mm& inputs);
// "" when low <= n <= high, else "too few input arguments" or (winning
// when both hold) "too many input arguments".
Mm nargchk(const Mm& low);
Mm nargchk(const Mm& low, const Mm& high);
Mm nargchk(const Mm& low, const Mm& high, const Mm& n);
// The name (without directory and extension) and line of the language file
// being run; "unknown" and 0 outside any call.
Mm vfilename();
Mm vfileline();
// "4.51 VORSEN"; the two-output form adds the release date "Sep 14 2000".
Mm version();
Mm version(i_o_t, Mm& v, Mm& d);
// Shows the version.
Mm ver();
// The largest finite and the smallest normalised double.
Mm realmax();
Mm realmin();
// The current directory, as cd() gives it.
Mm pwd();

// ---- argument assertions ----
// Each runs its tests on x in the order of its name (integer, real, scalar,
// vector) and raises "<name>: <variable> not integer" (or "not real", "not
// scalar", "not vector") at the first that fails; the result is empty.
Mm mbint(const Mm& x);
Mm mbintreal(const Mm& x);
Mm mbintrealscalar(const Mm& x);
Mm mbintrealvector(const Mm& x);
Mm mbintscalar(const Mm& x);
Mm mbintvector(const Mm& x);
Mm mbrealvector(const Mm& x);
Mm mbscalar(const Mm& x);
Mm mbvector(const Mm& x);

// ---- stub entries ----
// Environment functions a compiled program may call that the library does
// not provide: each takes up to 17 values, ignores them and returns the
// text "Stub called.".
#define VELKOR_STUB_PARAMETERS                                                                                  \
    Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, \
       Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M
Mm assignin(VELKOR_STUB_PARAMETERS);
Mm close_system(VELKOR_STUB_PARAMETERS);
Mm find_system(VELKOR_STUB_PARAMETERS);
Mm open_system(VELKOR_STUB_PARAMETERS);
Mm get_param(VELKOR_STUB_PARAMETERS);
Mm set_param(VELKOR_STUB_PARAMETERS);
Mm simset(VELKOR_STUB_PARAMETERS);
Mm system_dependent(VELKOR_STUB_PARAMETERS);
Mm quidedit(VELKOR_STUB_PARAMETERS);
#undef VELKOR_STUB_PARAMETERS

// ---- console text and input hooks ----
// A host replaces these to read a line typed by the user (at most size - 1
// characters and a terminating zero, the newline kept), to poll for a key
// (non-zero when one was pressed) and to clear its output screen. The
// defaults use standard input and the terminal.
using qv_input_handler_t = void (*)(char* buffer, int size);
using qv_kbhit_handler_t = int (*)();
using qv_clc_handler_t = int (*)();
extern qv_input_handler_t qv_input_handler;
extern qv_kbhit_handler_t qv_kbhit_handler;
extern qv_clc_handler_t qv_clc_handler;
void default_input_handler(char* buffer, int size);
int default_kbhit_handler();
int default_clc_handler();
// Each setter installs the given hook; null restores the default.
void qv_set_input_handler(qv_input_handler_t h);
void qv_set_kbhit_handler(qv_kbhit_handler_t h);
void qv_set_clc_handler(qv_clc_handler_t h);

// 1 at load; 0 makes timed pauses return at once.
extern int pause_enabled;
// 1 at load; 0 silences the language-level warning(text).
extern int warnings_enabled;

// Formats like printf and sends the whole text to the print hook in one
// call; returns the number of characters formatted.
int qv_printf(const char* format, ...) __attribute__((__format__(__printf__, 1, 2)));

// Waits for a mouse click in a figure or a key, then prints a new line.
Mm pauseM();
// Text: "on" and "off" switch timed pauses; a number: waits that many
// seconds.
Mm pauseM(const Mm& x);
// Shows the prompt and reads a line: as a number (str2num; nop_M for an
// empty line), or with a second argument as text without its newline.
Mm input(const Mm& prompt);
Mm input(const Mm& prompt, const Mm& x);
Mm kbhitM();
Mm clc();
Mm home();
// disp(x); usage prints "Usage: " first.
Mm puts(const Mm& x);
Mm usage(const Mm& x);
Mm smiley();
// The language's warning and error: "on" and "off" switch warnings (and
// warning() tells which is in force); any other text is shown as it is,
// never used as a format. error() raises "error!"; an empty message raises
// nothing. Calls with a string literal still reach the C-string forms of
// velkor/report.h.
Mm warning();
Mm warning(const Mm& text);
Mm error();
Mm error(const Mm& msg);

// ---- value display ----
// 1 at load: 4 significant digits, blank columns on the left removed; 0:
// 12 significant digits. Only format changes it.
extern int short_format;
// A word whose first letter is l or L selects the long layout, anything
// else (or none) the short one.
Mm format();
Mm format(const Mm& word);
Mm format(const Mm& word, const Mm& x);
// The rows of x through the print hook, one call per line: text as it is,
// numbers through num2str, cells and structs as summaries, 3-d and 4-d
// values page by page. The empty result x_M shows nothing.
Mm disp(const Mm& x);
// A class's "display" method, or disp_header and disp.
Mm display(const Mm& x);
// "name (rows x cols)=count class elements real (bytes) = ", with "ans" for
// a value without a name.
Mm disp_header(const Mm& x);
// Each element of a cell under its heading name{i,j}.
Mm celldisp(const Mm& x);
// The internal fields of x, for debugging.
Mm dump(const Mm& x);
// The workspace line of a named value: its name in 22 columns and its
// description.
void whos_line(const Mm& x);
Mm get_whos_line(const Mm& x);
