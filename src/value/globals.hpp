// Internal view of the global constant values and start-up state.
#pragma once

class Mm;

// The marker of an absent value: no value (type 0), named "nothing".
extern Mm nothing_M;

// What a cell accessor hands out after a failed check whose error hook
// returned. Assignments into it are dropped, so nothing written there is
// kept past the statement (a value assigned into a cell that was refused).
extern Mm failed_access_sink;

// Name pointers of the markers, recorded each time the constants are valued.
extern const char* l_M_name;
extern const char* semi_name;
extern const char* c_p_name;


// Gives the global constants their values (at start-up and in initM2).
void init_constants();

// The run-time +Inf and NaN (all exponent and mantissa bits set).
void init_ieee_constants();
double runtime_inf();
double runtime_nan();

// Names of the external image viewer, sound player and plotting program,
// read from the environment at start-up (upper-case variable first).
void read_external_program_names();
const char* external_viewer_name();
const char* external_player_name();
const char* external_plotter_name();

// The process-wide crash filter and the floating-point signal.
void install_crash_filter();
