/* vizmo4510: the graphics and GUI engine the run-time library draws through.
   This is the headless stand-in: it keeps every object and property in
   memory, draws nothing, and records each operation in a log that tests read. */
#pragma once

class Mm;

/* The one value layout that crosses the border in both directions. */
struct miniM {
    int ndims;      /* 2 to 4 when built; -1 once destroyed */
    int dims[4];    /* every entry beyond ndims is 1 */
    int isString;   /* non-zero: the elements are character codes */
    double* data;   /* product of dims doubles, column-major; null when empty */
};

extern "C" {

/* Start-up and shut-down. */
void vizmo_init(int runtime_version, int n);
void vizmo_set_callback_hook(void (*hook)(miniM*));
void vizmo_set_error_hook(void (*hook)(const char*));
void vizmo_set_destroy_hook(void (*hook)(Mm*));
void vizmo_redraw(void);
void vizmo_exit(int code);
/* Deletes the object of a handle (and its children). */
void vizmo_delete_object(double handle);
/* Whether a mouse button was pressed in a figure since the last question:
   1 or 0. The stand-in has no figures on screen: it answers from the
   script a test gives it, and 0 once the script is used up. A run of
   questions with the same answer shares one log line, so a pause that
   polls for a long time does not grow the log. */
int vizmo_button_press(void);

/* Inspection, for tests: the log of operations, one line each. */
int vizmo_log_size(void);
const char* vizmo_log_line(int k);
void vizmo_log_clear(void);
/* The answers the next n questions of vizmo_button_press get, in order;
   replaces what is left of an earlier script. */
void vizmo_script_button_press(const int* answers, int n);
/* Runs a GUI callback text through the registered callback hook, as the
   engine does when the user acts on a control. Returns 0 when no hook is set. */
int vizmo_fire_callback(const char* text);

}
