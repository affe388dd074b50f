// The plug-in module loader: modules <function>_vorsen.so found in a table
// of 31 buckets or loaded on first use, their entry called with the input
// and output value arrays, the outputs checked. A module is never unloaded
// while one of its calls is running: clear_plu then only unlinks it, and
// the last call to return finishes the job. No error unwinds through the
// system loader: one raised by a module's constructors is kept while the
// loader runs and raised once it has returned.
#include "host/plugins.hpp"

#include "host/console.hpp"
#include "platform/modules.hpp"
#include "value/report.hpp"
#include "velkor/report.h"
#include "velkor/value.h"

#include <plu.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <memory>
#include <string>

namespace {

using plu_entry = void (*)(int, Mm**, int, Mm**);

struct module_record {
    std::unique_ptr<module_record> next;
    std::string name;
    void* module = nullptr;
    plu_entry entry = nullptr;
    void (*at_exit)() = nullptr;
    // Why the module could not start (its constructors raised an error):
    // every call raises it again until the name is cleared, since a module
    // the loader keeps would not run its constructors a second time.
    std::string failure;
    int active = 0;         // calls of the entry still running
    bool unlinked = false;  // cleared while active: unload when the last returns
};

constexpr int bucket_count = 31;
constexpr int max_outputs = 64;

std::unique_ptr<module_record> module_table[bucket_count];
// Records cleared during their own calls, kept until those calls return.
std::unique_ptr<module_record> retired;
std::string calling;

module_record* find_record(const char* name, module_record** before)
{
    module_record* prev = nullptr;
    for (module_record* r = module_table[module_bucket(name)].get(); r; prev = r, r = r->next.get()) {
        if (ascii_stricmp(r->name.c_str(), name) == 0) {
            if (before)
                *before = prev;
            return r;
        }
    }
    return nullptr;
}

void unload(module_record& r)
{
    if (r.at_exit) {
        auto fn = r.at_exit;
        r.at_exit = nullptr;
        fn();
    }
    platform::close_module(r.module);
    r.module = nullptr;
}

// Takes a record out of the retired list and unloads it.
void finish_retired(module_record* r)
{
    for (std::unique_ptr<module_record>* p = &retired; *p; p = &(*p)->next) {
        if (p->get() == r) {
            std::unique_ptr<module_record> owned = std::move(*p);
            *p = std::move(owned->next);
            unload(*owned);
            return;
        }
    }
}

int saturated_count(double v)
{
    if (std::isnan(v) || v <= 0)
        return 0;
    return v >= 2147483647.0 ? 2147483647 : static_cast<int>(v);
}

// Restores the calling module's name and the record's count on every exit.
class entry_call {
public:
    entry_call(module_record* r, const char* name) : record_(r), saved_(calling)
    {
        calling = name;
        if (record_)
            ++record_->active;
    }
    ~entry_call()
    {
        calling = saved_;
        if (record_ && --record_->active == 0 && record_->unlinked)
            finish_retired(record_);
    }
    entry_call(const entry_call&) = delete;
    entry_call& operator=(const entry_call&) = delete;

private:
    module_record* record_;
    std::string saved_;
};

module_record* push_record(std::unique_ptr<module_record> r)
{
    std::unique_ptr<module_record>& head = module_table[module_bucket(r->name.c_str())];
    r->next = std::move(head);
    head = std::move(r);
    return head.get();
}

// Loads the module of a function and records it; null after an error.
module_record* load_module(const char* name)
{
    const std::string file = std::string(name) + "_vorsen.so";
    unsigned code = 0;
    std::string reason;
    void* module = nullptr;
    std::string failure;
    {
        held_errors held;
        module = platform::open_module(file, code, reason);
        if (held.any()) {
            failure = held.text();
            code = ENOEXEC;
        }
    }
    if (!module) {
        error("Could not load %s GetLastError is %u: %s", file.c_str(), code, reason.c_str());
        return nullptr;
    }
    auto r = std::make_unique<module_record>();
    r->name = name;
    if (!failure.empty()) {
        // The module's own destructors run here, outside the hold: what
        // they raise reaches the caller as any error does.
        platform::close_module(module);
        r->failure = "Could not load " + file + " GetLastError is " + std::to_string(code) + ": " + failure;
        error("%s", push_record(std::move(r))->failure.c_str());
        return nullptr;
    }
    const auto entry = reinterpret_cast<plu_entry>(platform::module_entry(module, "pluFunction"));
    if (!entry) {
        platform::close_module(module);
        error("Could not find %s in %s", "pluFunction", file.c_str());
        return nullptr;
    }
    r->module = module;
    r->entry = entry;
    return push_record(std::move(r));
}

} // namespace

int module_bucket(const char* name)
{
    const int c0 = name && name[0] ? static_cast<signed char>(std::tolower(static_cast<unsigned char>(name[0]))) : 0;
    const int c1 = c0 ? static_cast<signed char>(std::tolower(static_cast<unsigned char>(name[1]))) : 0;
    return ((c0 + 256 * c1) % bucket_count + bucket_count) % bucket_count;
}

const std::string& current_module_name() { return calling; }

bool set_module_at_exit(void (*fn)())
{
    module_record* r = find_record(calling.c_str(), nullptr);
    if (!r) {
        for (module_record* q = retired.get(); q && !r; q = q->next.get())
            if (ascii_stricmp(q->name.c_str(), calling.c_str()) == 0)
                r = q;
    }
    if (!r)
        return false;
    r->at_exit = fn;
    return true;
}

void call_plu(const char* name, double nlhs_value, Mm** plhs, double nrhs_value, Mm** prhs)
{
    // The slots are cleared before anything can fail: a caller whose error
    // hook returns reads no stale pointer from them afterwards.
    if (plhs)
        for (int k = 0; k < max_outputs; ++k)
            plhs[k] = nullptr;
    const char* n = name ? name : "";
    const int nlhs = saturated_count(nlhs_value);
    const int nrhs = saturated_count(nrhs_value);
    if (nlhs > max_outputs) {
        error("call_plu: too many output arguments when calling %s.", n);
        return;
    }
    module_record* record = find_record(n, nullptr);
    if (!record)
        record = load_module(n);
    if (!record)
        return;
    if (!record->failure.empty()) {
        error("%s", record->failure.c_str());
        return;
    }
    plu_entry entry = record->entry;
    {
        entry_call running(record, n);
        entry(nlhs, plhs, nrhs, prhs);
    }
    if (nlhs == 1) {
        if (!plhs[0])
            plhs[0] = new Mm(x_M);
        return;
    }
    for (int k = 0; k < nlhs; ++k) {
        if (!plhs[k]) {
            error("call_plu: not all output arguments were assigned when calling %s.", n);
            plhs[k] = new Mm();
        }
    }
}

void call_plu_prhs(Mm*& slot, const Mm& value) { slot = const_cast<Mm*>(&value); }

void call_plu_plhs(Mm& target, Mm* out)
{
    if (!out)
        return;
    target = *out;
    delete out;
}

void clear_plu(const char* name)
{
    module_record* before = nullptr;
    module_record* r = find_record(name ? name : "", &before);
    if (!r)
        return;
    std::unique_ptr<module_record>& link = before ? before->next : module_table[module_bucket(r->name.c_str())];
    std::unique_ptr<module_record> owned = std::move(link);
    link = std::move(owned->next);
    if (owned->active > 0) {
        // Still running: the last call to return unloads it.
        owned->unlinked = true;
        owned->next = std::move(retired);
        retired = std::move(owned);
        return;
    }
    unload(*owned);
}
