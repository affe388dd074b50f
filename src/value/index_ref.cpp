// Index references Mr: construction and the intake of index values (double
// values are borrowed, others converted and owned).
#include "velkor/array.h"
#include "velkor/index.h"
#include "velkor/report.h"
#include "velkor/value.h"

Mr::Mr()
    : nidx(-1), kind(Mr_none), field_name(nullptr), chained(0), base(nullptr), parent(nullptr),
      index{nullptr, nullptr, nullptr, nullptr}
{
}

Mr::Mr(const Mr& r)
    : nidx(r.nidx), kind(r.kind), field_name(r.field_name), chained(r.chained), base(r.base), parent(r.parent),
      index{r.index[0], r.index[1], r.index[2], r.index[3]}
{
}

Mr::Mr(const Mm& x)
    : nidx(0), kind(Mr_paren), field_name(nullptr), chained(0), base(&x), parent(nullptr),
      index{nullptr, nullptr, nullptr, nullptr}
{
}

// A field reference needs a name: a null one is refused here, before any
// step of the chain reads it.
namespace {
const char* field_name_of(const char* name)
{
    if (!name) {
        error("member: the field name is a null pointer");
        return "";  // should the error hook return: a name no lookup finds
    }
    return name;
}
} // namespace

Mr::Mr(const Mm& x, const char* name)
    : nidx(0), kind(Mr_field), field_name(field_name_of(name)), chained(0), base(&x), parent(nullptr),
      index{nullptr, nullptr, nullptr, nullptr}
{
}

Mr::Mr(const Mr& p, const char* name)
    : nidx(0), kind(Mr_field), field_name(field_name_of(name)), chained(1), base(nullptr), parent(&p),
      index{nullptr, nullptr, nullptr, nullptr}
{
}

Mr::Mr(Mr_idx_type k, const Mm& x, const Mm& i1, const Mm& i2)
    : nidx(0), kind(k), field_name(nullptr), chained(0), base(&x), parent(nullptr),
      index{nullptr, nullptr, nullptr, nullptr}
{
    const Mm* v[] = {&i1, &i2};
    take_indices(2, v);
}

Mr::Mr(Mr_idx_type k, const Mm& x, const Mm& i1, const Mm& i2, const Mm& i3)
    : nidx(0), kind(k), field_name(nullptr), chained(0), base(&x), parent(nullptr),
      index{nullptr, nullptr, nullptr, nullptr}
{
    const Mm* v[] = {&i1, &i2, &i3};
    take_indices(3, v);
}

Mr::Mr(Mr_idx_type k, const Mm& x, const Mm& i1, const Mm& i2, const Mm& i3, const Mm& i4)
    : nidx(0), kind(k), field_name(nullptr), chained(0), base(&x), parent(nullptr),
      index{nullptr, nullptr, nullptr, nullptr}
{
    const Mm* v[] = {&i1, &i2, &i3, &i4};
    take_indices(4, v);
}

Mr::Mr(Mr_idx_type k, const Mr& p, const Mm& i1)
    : nidx(0), kind(k), field_name(nullptr), chained(1), base(nullptr), parent(&p),
      index{nullptr, nullptr, nullptr, nullptr}
{
    const Mm* v[] = {&i1};
    take_indices(1, v);
}

Mr::Mr(Mr_idx_type k, const Mr& p, const Mm& i1, const Mm& i2)
    : nidx(0), kind(k), field_name(nullptr), chained(1), base(nullptr), parent(&p),
      index{nullptr, nullptr, nullptr, nullptr}
{
    const Mm* v[] = {&i1, &i2};
    take_indices(2, v);
}

Mr::Mr(Mr_idx_type k, const Mr& p, const Mm& i1, const Mm& i2, const Mm& i3)
    : nidx(0), kind(k), field_name(nullptr), chained(1), base(nullptr), parent(&p),
      index{nullptr, nullptr, nullptr, nullptr}
{
    const Mm* v[] = {&i1, &i2, &i3};
    take_indices(3, v);
}

Mr::Mr(Mr_idx_type k, const Mr& p, const Mm& i1, const Mm& i2, const Mm& i3, const Mm& i4)
    : nidx(0), kind(k), field_name(nullptr), chained(1), base(nullptr), parent(&p),
      index{nullptr, nullptr, nullptr, nullptr}
{
    const Mm* v[] = {&i1, &i2, &i3, &i4};
    take_indices(4, v);
}

// A one-index paren reference on a cell c is x(c{1}, ..., c{n}); any other
// index that is not a double is converted.
void Mr::take_first_index(Mr_idx_type k, const Mm& i1)
{
    if (k == Mr_paren && i1.gettype() == qv_cell && !i1.isstruct()) {
        nidx = 0;
        index[0] = nullptr;
        take_cell_index(i1);
    } else {
        take_index(0, i1);
    }
}

void Mr::take_index(int k, const Mm& i)
{
    if (i.gettype() == qv_double) {
        index[k] = &i;
        return;
    }
    // An unassigned variable as an index is a fault of the program, not an
    // empty selection.
    if (i.gettype() == qv_none)
        i.warn_uninit();
    held[k] = std::make_unique<Mm>(subsindex(i));
    index[k] = held[k].get();
}

void Mr::take_indices(int n, const Mm* const* values)
{
    for (int k = 0; k < n; ++k) {
        take_index(k, *values[k]);
        nidx = k + 1;
    }
}

// x(c) with a cell c of one to four elements is x(c{1}, ..., c{n}); any
// other count refers to x as a whole. The elements are held by the
// reference, so c itself need not outlive it.
void Mr::take_cell_index(const Mm& c)
{
    const int n = c.size();
    if (n < 1 || n > 4)
        return;
    const Mm* items = c.getpr((Mm*)nullptr);
    for (int k = 0; k < n; ++k) {
        if (items[k].gettype() == qv_double) {
            held[k] = std::make_unique<Mm>(items[k]);
            index[k] = held[k].get();
        } else {
            take_index(k, items[k]);
        }
        nidx = k + 1;
    }
}

int Mr::size() const
{
    Mm value(*this, 1);
    return value.size();
}
