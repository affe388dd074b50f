/* vizmo4510: the graphics and GUI engine the run-time library draws through.
   This engine is headless: it keeps the object tree and its properties in
   memory, answers waits and dialogs from a script (vizmo_test.h), reads and
   writes image files, and records each operation in a log that tests read.
   Handles are doubles, texts are zero-terminated, values cross as miniM.
   The engine is driven from one thread, the one that runs the GUI. */
#pragma once

class Mm;

/* The one value layout that crosses the border in both directions. */
struct miniM {
    int ndims;      /* 2 to 4 when built; -1 once destroyed */
    int dims[4];    /* every entry beyond ndims is 1 */
    int isString;   /* non-zero: the elements are character codes */
    double* data;   /* product of dims doubles, column-major; null when empty
                       or when the elements are bytes */
    int isBytes = 0;                /* non-zero: the elements are bytes (class
                                       uint8), in bytes */
    unsigned char* bytes = nullptr; /* product of dims bytes, column-major;
                                       null unless isBytes and not empty */
};
static_assert(sizeof(miniM) == 48, "miniM is laid out for the engine");

/* The colours of the letters "ymcrgbwk", by name and as [r g b]: a colour
   code -100 - k names entry k. */
inline constexpr char vizmo_colour_letters[] = "ymcrgbwk";
inline constexpr const char* vizmo_colour_words[] = {"yellow", "magenta", "cyan", "red",
                                                     "green",  "blue",    "white", "black"};
inline constexpr double vizmo_colour_rgb[8][3] = {{1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 0, 0},
                                                  {0, 1, 0}, {0, 0, 1}, {1, 1, 1}, {0, 0, 0}};

/* "LineStyle" and "Marker" hold an index into these tables, or -1 for none;
   the engine stores a text naming an entry (or "none") as its index. */
inline constexpr const char* vizmo_line_styles[] = {"-", ":", "-.", "--"};
inline constexpr const char* vizmo_markers[] = {".", "o", "x", "+", "*", "s", "d", "^", "v", ">", "<", "p", "h"};

extern "C" {

/* Start-up and shut-down. The hooks may be null (withdrawn). The error hook
   may not return (it may throw through the engine): the engine commits its
   state before it calls any hook. */
void vizmo_init(int runtime_version, int n);
void vizmo_set_callback_hook(void (*hook)(miniM*));
void vizmo_set_error_hook(void (*hook)(const char*));
void vizmo_set_destroy_hook(void (*hook)(Mm*));
void vizmo_exit(int code);

/* Objects. "Figure" with n >= 1 selects or creates figure n, with -1 the
   lowest free number; every other type takes -1 and gets a fresh handle that
   is never an integer. A failure gives -1. */
double vizmo_create_object(const char* type, int n);
/* The caller owns the value; the engine copies it at once. Bytes are kept
   as bytes for "CData" (indices from 0, or components 0..255) and read as
   the numbers 0..255 for every other property. */
void vizmo_set_property(double h, const char* name, const miniM* value);
/* Never null. The engine owns the result; an unknown name or a dead handle
   reads as a 0 x 0 value. A read is a copy that stays valid for the next 8
   reads, except a stored "CData": that is lent, not copied, and stays valid
   until "CData" is written again or its object is deleted. */
miniM* vizmo_get_property(double h, const char* name);
int vizmo_is_handle(double h);
/* Negative when there is no figure. */
double vizmo_current_figure(void);
void vizmo_redraw(void);
/* n points with element strides; the arrays are copied at once. z may be
   null; a stride of 0 means 1. */
void vizmo_set_data(double h, int n, const double* x, int xstep, const double* y, int ystep, const double* z,
                    int zstep);
void vizmo_set_rotate3d_axes(double axes);
void vizmo_set_surface_axes(double axes);
void vizmo_set_hosted_mode(int mode);
void vizmo_set_application_handle(void* handle);
void vizmo_set_application_key_handle(void* handle);
void vizmo_console_mode(int mode);

/* Modal dialogs. */
int vizmo_message_box(const char* text, const char* title, const char* icon);
/* 0-based default in, 0-based choice out. */
int vizmo_question_dialog(const char* text, const char* title, const char* kind, char** buttons, int count,
                          int default_button);
/* 0: cancelled; else every answer buffer (size bytes each) holds an answer. */
int vizmo_input_dialog(const char* title, char** prompts, int* line_counts, char** defaults, int count,
                       char** answers, int size);
/* strings: the title, then the choices; count includes the title. The
   chosen choice counted from 1, 0 for none. */
int vizmo_menu_dialog(char** strings, int count);
/* The chosen file's name and directory; both empty when cancelled. */
void vizmo_open_file_dialog(const char* filter, const char* title, char* file, int file_size, char* path,
                            int path_size);
void vizmo_save_file_dialog(const char* filter, const char* title, char* file, int file_size, char* path,
                            int path_size);
/* Colour R + 256 G + 65536 B, or -1 when cancelled. */
int vizmo_color_dialog(int mode, int colour);

/* Waiting. */
void vizmo_wait(void);
void vizmo_resume(void);
void vizmo_wait_for_object(double h);
/* mode 0 waits: 0 mouse press, 1 key, 2 figure closed, -1 nothing more will
   come. mode 1 polls: 0 or 1 for a pending press or key, else 1 or -1 as
   the engine's policy says (see vizmo_test.h). */
int vizmo_button_press(int mode);

}
