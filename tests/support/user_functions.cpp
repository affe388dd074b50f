// The registry of C++ user functions behind the feval hook.
#include "user_functions.hpp"

#include <atomic>
#include <cstring>

namespace test {

namespace {
std::atomic<user_functions*> active{nullptr};
} // namespace

Mm user_functions_trampoline(Mm name, Mm args, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6)
{
    user_functions* reg = active.load();
    char text[64];
    Mstr(name, text, sizeof text);
    const auto found = reg ? reg->bodies_.find(text) : decltype(reg->bodies_.end()){};
    if (!reg || found == reg->bodies_.end()) {
        error("Undefined function '%s'.", text);
        return x_M;
    }
    std::vector<Mm> list;
    feval_record record{text, {}, nargout_val};
    if (args.gettype() == qv_cell) {
        const Mm* items = args.getpr((Mm*)nullptr);
        for (int k = 0; k < args.size(); ++k) {
            list.push_back(items[k]);
            if (!reg->logging_)
                continue;
            Mm copy;
            if (items[k].gettype() == qv_double)
                copy.deepcopy(items[k], qv_none);
            else
                copy = items[k];
            record.args.push_back(copy);
        }
    }
    if (reg->logging_) {
        std::lock_guard<std::mutex> lock(reg->mutex_);
        reg->log_.push_back(record);
    }
    const std::vector<Mm> out = found->second(list, static_cast<int>(nargout_val));
    Mm* refs[] = {&o1, &o2, &o3, &o4, &o5, &o6};
    for (std::size_t k = 0; k < out.size() && k < 6; ++k)
        *refs[k] = out[k];
    return out.empty() ? x_M : out[0];
}

user_functions::user_functions() : previous_(feval_func), outer_(active.load())
{
    active.store(this);
    feval_func = user_functions_trampoline;
}

user_functions::~user_functions()
{
    active.store(outer_);
    feval_func = previous_;
}

void user_functions::define(const std::string& name, user_body body) { bodies_[name] = std::move(body); }

void user_functions::define_elementwise(const std::string& name, std::function<double(double)> f)
{
    define(name, [f](const std::vector<Mm>& args, int) {
        const Mm& x = args.at(0);
        Mm y(0, 0, 0, x.getndims(), x.getdims(), qv_double);
        if (x.gettype() != qv_double || y.size() != x.size())
            return std::vector<Mm>{Mm()};
        for (int k = 0; k < x.size(); ++k)
            y.addr()[k] = f(x.addr()[k]);
        return std::vector<Mm>{y};
    });
}

void user_functions::define_scalar(const std::string& name, std::function<double(double)> f)
{
    define(name, [f](const std::vector<Mm>& args, int) {
        const Mm& x = args.at(0);
        if (x.gettype() != qv_double || x.size() < 1)
            return std::vector<Mm>{Mm()};
        return std::vector<Mm>{Mm(f(x.addr()[0]))};
    });
}

std::vector<feval_record> user_functions::log() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

void user_functions::clear_log()
{
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
}

std::size_t user_functions::calls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return log_.size();
}

std::vector<double> user_functions::points() const
{
    std::vector<double> out;
    for (const feval_record& r : log())
        out.push_back(!r.args.empty() && r.args[0].size() > 0 && r.args[0].gettype() == qv_double
                          ? r.args[0].addr()[0]
                          : NAN);
    return out;
}

std::vector<double> elements(const Mm& x)
{
    if (x.gettype() != qv_double || x.issparse())
        return {};
    return std::vector<double>(x.addr(), x.addr() + x.size());
}

} // namespace test
