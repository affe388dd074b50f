// The explicit Runge-Kutta suite behind ode23, ode45 and ode78: set-up, the
// stepping tasks "CT" (one step) and "UT" (to a time), "RESET" of the end
// of the range, "INTRP" dense output and the global error assessment. All
// state, the task registry included, lives in the caller's rk_context, so
// integrations may nest and run on several threads.
#pragma once

// The derivative y' = f(t, y), n values written into yp.
struct rk_function {
    void (*call)(void* context, double t, const double* y, double* yp);
    void* context;
};

// Flags of the tasks.
enum : int {
    rk_success = 1,
    rk_inefficient = 2,   // many calls ending on a moved end point
    rk_much_work = 3,     // another 5000 derivative evaluations
    rk_too_accurate = 5,  // the step fell below the minimum step
    rk_unreliable = 6,    // global error assessment failed
    rk_fatal = 911,       // this call was refused
    rk_after_fatal = 912, // an earlier call was refused
};

struct rk_pair;

struct rk_context {
    // The registry: per task, 0 before any set-up, -1 not called since
    // set-up, -2 (INTRP) a step since the interpolant was formed or (UT)
    // "UT" is the caller, else the last flag.
    enum task { setup = 1, ut = 2, ct = 5, intrp = 6, reset = 7 };
    int state[8] = {};
    bool fatal = false;

    const rk_pair* pair = nullptr;
    int method = 0;
    int n = 0;
    bool ut_task = false;
    double t_start = 0, t_end = 0, t = 0, t_old = 0, t_reached = 0;
    double t_final = 0;  // the end given at set-up ("UT" of method 3 moves t_end)
    double h = 0, h_old = 0, h_start = 0;
    double dir = 1, tol = 0;
    bool first = true, last = false, on_scale = false, growth = false, at_end = false;
    bool ended_on_moved_end = false;
    long evals = 0, total_evals = 0, steps = 0, calls_at_end = 0;
    double err_prev = 0;
    bool have_prev = false;
    // machine constants
    double u = 0, rmin = 0, roundoff = 0, sqrt_u = 0, cbrt_u = 0, tiny = 0, smallness = 0;
    // work-array pieces (each n doubles; stages holds stage count × n)
    double *thres = nullptr, *wt = nullptr, *y = nullptr, *yp = nullptr, *ynew = nullptr, *err = nullptr;
    double *yold = nullptr, *ypold = nullptr, *arg = nullptr, *stages = nullptr;
    // global error assessment
    bool errass = false;
    double *y2 = nullptr, *y2_save = nullptr, *rms = nullptr, *gea_stages = nullptr;
    double max_err = 0, t_max_err = 0;
    long gea_evals = 0;
    int intrp_nwant = 0;
    // dense output: the rows "UT" forms (a "U" task only), the rows formed
    // last (in the work array or the caller's interpolation array), and
    // whether the last step's extra stages have been evaluated
    double* dense = nullptr;
    const double* dense_rows = nullptr;
    bool extra_done = false;
};

// Work lengths: the suite needs at most 32n doubles without error
// assessment, the interpolation n + max(n, 5 n_wanted).
long long rk_work_length(int n, int method, bool errass, bool ut_task);

int rk_setup(rk_context& ctx, int n, double t_start, const double* y_start, double t_end, double tolerance,
             const double* thresholds, int method, const char* task, bool assess_error, double h_start, double* work,
             long long work_length, bool messages);
int rk_ct(rk_context& ctx, const rk_function& f, double& t_now, double* y_now, double* yp_now, double* work);
int rk_ut(rk_context& ctx, const rk_function& f, double t_target, double& t_reached, double* y_reached,
          double* yp_reached, double* work);
int rk_reset(rk_context& ctx, double t_end_new);
int rk_intrp(rk_context& ctx, double t_target, const char* request, int n_wanted, double* y_wanted,
             double* yp_wanted, const rk_function& f, double* work, double* interp_work, long long interp_length);
