// User functions for the solver tests: C++ bodies registered by name and
// reached through the host's feval hook, with a log of every call (the
// name, copies of the arguments and nargout during the call) so tests can
// assert the solvers' calling protocols.
#pragma once

#include <velkor.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace test {

struct feval_record {
    std::string name;
    std::vector<Mm> args;  // private copies, as the function saw them
    double nargout;        // nargout_val during the call
};

// A body gets the argument list and the number of outputs asked for
// (nargout_val, 0 when the caller wants all it can get) and returns its
// outputs, first to last.
using user_body = std::function<std::vector<Mm>(const std::vector<Mm>& args, int nargout)>;

// Installs its trampoline as feval_func for its lifetime and restores the
// previous hook afterwards. One registry is active at a time.
class user_functions {
public:
    user_functions();
    ~user_functions();
    user_functions(const user_functions&) = delete;
    user_functions& operator=(const user_functions&) = delete;

    void define(const std::string& name, user_body body);
    // f applied to every element of the first argument, shaped like it.
    void define_elementwise(const std::string& name, std::function<double(double)> f);
    // f of the first element of the first argument, as a 1x1 value.
    void define_scalar(const std::string& name, std::function<double(double)> f);

    // Off: calls leave no record (and hold no copies of their arguments).
    void keep_log(bool on) { logging_ = on; }
    std::vector<feval_record> log() const;
    void clear_log();
    // The first element of the first argument of each logged call.
    std::vector<double> points() const;
    std::size_t calls() const;

private:
    friend Mm user_functions_trampoline(Mm, Mm, i_o_t, Mm&, Mm&, Mm&, Mm&, Mm&, Mm&);

    std::map<std::string, user_body> bodies_;
    mutable std::mutex mutex_;
    std::vector<feval_record> log_;
    bool logging_ = true;
    feval_func_t previous_;
    user_functions* outer_;
};

// The element values of a double value as a vector (empty for others).
std::vector<double> elements(const Mm& x);

} // namespace test
