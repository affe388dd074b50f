// The allocation-failure sweep behind test::sweep_allocations.
#include "alloc_sweep.hpp"
#include "test_support.hpp"
#include "value/allocator.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace test {

namespace {

std::vector<std::string>& reports()
{
    static std::vector<std::string> seen;
    return seen;
}

std::string joined(const std::vector<std::string>& texts)
{
    std::string all;
    for (const auto& t : texts)
        all += "\"" + t + "\" ";
    return all;
}

void record(const char* text) { reports().push_back(text ? text : ""); }

template <class T>
void append_bytes(std::string& out, const T* p, std::size_t n)
{
    if (p && n)
        out.append(reinterpret_cast<const char*>(p), n * sizeof(T));
}

void fingerprint_into(std::string& out, const Mm& x)
{
    const M_types& f = x.getflags();
    out += '<';
    out += std::to_string(f.type) + ' ' + std::to_string(f.str) + std::to_string(f.sparse) +
           std::to_string(f.logical) + ' ' + std::to_string(x.isc()) + ' ' + std::to_string(x.getclassid());
    for (int d = 0; d < x.getndims(); ++d)
        out += ' ' + std::to_string(x.getdims()[d]);
    for (int k = 0; k < x.getnfields(); ++k)
        out += std::string(" .") + x.getfields()[k];
    out += '|';
    const bool sparse = x.issparse();
    const std::size_t n = sparse ? static_cast<std::size_t>(x.getnnz()) : static_cast<std::size_t>(x.size());
    if (sparse)
        append_bytes(out, x.getindex(), n);
    switch (x.gettype()) {
    case qv_double:
    case qv_none:
        append_bytes(out, x.addr(), n);
        if (x.isc())
            append_bytes(out, x.addi(), n);
        break;
    case qv_uint8:
        append_bytes(out, x.getpr((unsigned char*)nullptr), n);
        if (x.isc())
            append_bytes(out, x.getpi((unsigned char*)nullptr), n);
        break;
    case qv_cell:
        for (std::size_t k = 0; k < n; ++k)
            fingerprint_into(out, x.getpr((Mm*)nullptr)[k]);
        break;
    }
    out += '>';
}

// One run of the statement with the n-th allocation refused (0: none).
// Returns whether the refusal happened.
bool run_once(const sweep_case& c, long n)
{
    SCOPED_TRACE("refusing allocation " + std::to_string(n));
    // A crash shows no trace: NUMRUN_SWEEP_VERBOSE=1 names each run first.
    static const bool verbose = std::getenv("NUMRUN_SWEEP_VERBOSE") != nullptr;
    if (verbose)
        std::fprintf(stderr, "sweep: %s, refusing allocation %ld\n", c.what, n);
    reports().clear();
    const long live_before = qv_live_blocks();
    bool refused = false;
    {
        Mm x(c.start, "x");
        const std::string before = fingerprint(x);
        qv_fail_allocation(n);
        try {
            c.statement(x);
        } catch (const std::bad_alloc&) {
            // Scratch space refused under a returning hook: the statement
            // unwinds to the host. Allowed, as long as nothing leaks.
        } catch (const char* text) {
            ADD_FAILURE() << "threw \"" << text << "\" under a returning error hook";
        }
        refused = qv_allocation_failed();
        qv_fail_allocation(0);
        if (!refused) {
            EXPECT_TRUE(reports().empty()) << "the statement fails by itself: " << reports().front();
        } else if (c.target == keeps_target) {
            EXPECT_EQ(fingerprint(x), before) << "a refused assignment changed its target; reports: " << joined(reports());
        } else {
            (void)fingerprint(x);  // the target is whole enough to be read
        }
    }
    EXPECT_EQ(qv_live_blocks(), live_before) << "blocks leaked";
    return refused;
}

} // namespace

returning_errors::returning_errors() : previous_(qv_set_error_handler(record)) { test::reports().clear(); }
returning_errors::~returning_errors() { qv_set_error_handler(previous_); }
const std::vector<std::string>& returning_errors::reports() const { return test::reports(); }

std::string fingerprint(const Mm& x)
{
    std::string out;
    fingerprint_into(out, x);
    return out;
}

void sweep_allocations(const std::vector<sweep_case>& cases)
{
    // A safety stop for a statement that never completes.
    constexpr long most = 200000;
    qv_text_handler previous = qv_set_error_handler(record);
    // The first report and the first run may fill lazily built tables once.
    error("Out of memory!");
    // NUMRUN_SWEEP_ONLY=<what> runs one statement of the table alone.
    const char* only = std::getenv("NUMRUN_SWEEP_ONLY");
    for (const auto& c : cases) {
        if (only && std::strcmp(only, c.what) != 0)
            continue;
        SCOPED_TRACE(c.what);
        {
            reports().clear();
            Mm x(c.start, "x");
            c.statement(x);
            ASSERT_TRUE(reports().empty()) << "the statement fails by itself: " << joined(reports());
        }
        long n = 1;
        while (n < most && run_once(c, n) && !::testing::Test::HasFatalFailure())
            ++n;
        EXPECT_LT(n, most) << "the statement never completed";
    }
    qv_set_error_handler(previous);
    reports().clear();
}

} // namespace test
