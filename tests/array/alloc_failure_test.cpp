// Refused allocations in the array functions: constructors, concatenation,
// sparse construction, sort, sets, cells and structs.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

#include <climits>
#include <functional>

namespace {

using test::cell_row;
using test::counting;
using test::row;
using test::text;

TEST(AllocationFailure, ArrayFunctions)
{
    const Mm three(3.0), five(5.0);
    const Mm v = row({5, 3, 9, 1, 3, 7, 1});
    const Mm w = row({3, 4, 1, 8});
    const Mm names = cell_row({text("pear"), text("fig"), text("apple"), text("fig")});
    const Mm ii = row({1, 3, 2, 3}), jj = row({1, 1, 2, 3}), ss = row({4, 5, 6, 7});
    const Mm struct_args = cell_row({text("a"), Mm(1.0), text("b"), cell_row({Mm(2.0), Mm(3.0)})});
    // More than the eight elements an empty value has room for: a refused
    // result written as if whole would overrun its storage.
    const Mm twelve = colon(1.0, 12.0), sp = sparse(ii, jj, ss), wide = sparse(twelve);
    const Mm bytes = muint8(v), coo = sp2coo(wide);
    const Mm zsp = sparse(test::complex(2, 2, {1, 0, 0, 4}, {2, 0, 0, -1}));
    const Mm pair = test::cell_row({text("a"), text("b")}), b_name = text("b");
    const Mm grid = counting({10, 2});
    const Mm cancel_at = row({1, 1, 2, 3, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    const Mm cancel_values = row({1, -1, 2, 3, -3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    test::sweep_allocations({
        {"zeros", Mm(), [=](Mm& x) { x = zeros(three, five); }},
        {"ones n-d", Mm(), [=](Mm& x) { x = ones(three, three, three); }},
        {"eye", Mm(), [=](Mm& x) { x = eye(three, five); }},
        {"colon", Mm(), [=](Mm& x) { x = colon(1.0, 0.5, 9.0); }},
        {"horzcat", counting({2, 2}), [=](Mm& x) { x = horzcat(x, counting({2, 3})); }},
        {"vertcat of text", text("ab"), [=](Mm& x) { x = vertcat(x, text("cd")); }},
        {"cat along 3", counting({2, 2}), [=](Mm& x) { x = cat(three, x, x); }},
        {"repmat", counting({2, 2}), [=](Mm& x) { x = repmat(x, three, three); }},
        {"reshape", counting({2, 6}), [=](Mm& x) { x = reshape(x, three, Mm(4.0)); }},
        {"transpose", counting({2, 3}), [=](Mm& x) { x = ctranspose(x); }},
        {"sparse from triplets", Mm(), [=](Mm& x) { x = sparse(ii, jj, ss); }},
        {"speye", Mm(), [=](Mm& x) { x = speye(five); }},
        {"full of sparse", Mm(), [=](Mm& x) { x = full(sparse(ii, jj, ss)); }},
        {"sort", v, [=](Mm& x) { x = sort(x); }},
        {"sort with index", v, [=](Mm& x) {
             Mm s, k;
             sort(x, i_o, s, k);
             x = k;
         }},
        {"sort of strings", names, [=](Mm& x) { x = sort(x); }},
        {"unique", v, [=](Mm& x) { x = unique(x); }},
        {"unique with positions", v, [=](Mm& x) {
             Mm b, i, j;
             unique(x, i_o, b, i, j);
             x = j;
         }},
        {"intersect", v, [=](Mm& x) { x = intersect(x, w); }},
        {"setdiff", v, [=](Mm& x) { x = setdiff(x, w); }},
        {"ismember", v, [=](Mm& x) { x = ismember(x, w); }},
        {"unique of text", text("banana"), [=](Mm& x) { x = unique(x); }},
        {"cell", Mm(), [=](Mm& x) { x = cell(three, three); }},
        {"text into a new cell", Mm(), [=](Mm& x) {
             Mm c = cell(Mm(2.0), Mm(1.0));
             c.mr(1) = TM("ab");
             x = c;
         }},
        {"triu", counting({4, 4}), [=](Mm& x) { x = triu(x); }},
        {"triu above a diagonal", counting({3, 5}), [=](Mm& x) { x = triu(x, Mm(1.0)); }},
        {"tril", counting({4, 4}), [=](Mm& x) { x = tril(x); }},
        {"cellstr", text("ab"), [=](Mm& x) { x = cellstr(vertcat(x, text("cd"))); }},
        {"struct", Mm(), [=](Mm& x) { x = mstruct(struct_args); }},
        {"find", counting({1, 12}), [](Mm& x) { x = find(x); }},
        {"find of sparse", wide, [](Mm& x) { x = find(x); }},
        {"sp2coo", wide, [](Mm& x) { x = sp2coo(x); }},
        {"sp2coo, complex", zsp, [](Mm& x) { x = sp2coo(x); }},
        {"spconvert", coo, [](Mm& x) { x = spconvert(x); }},
        {"colperm", wide, [](Mm& x) { x = colperm(x); }},
        {"sparse of one repeated value", Mm(), [=](Mm& x) { x = sparse(twelve, twelve, Mm(2.0)); }},
        {"sparse of uint8", bytes, [](Mm& x) { x = sparse(x); }},
        {"nnz of uint8", bytes, [](Mm& x) { x = nnz(x); }},
        {"double of sparse", sp, [](Mm& x) { x = mdouble(x); }},
        {"double of uint8", bytes, [](Mm& x) { x = mdouble(x); }},
        {"uint8", v, [](Mm& x) { x = muint8(x); }},
        {"deepcopy", names, [](Mm& x) { x = deepcopy(x); }},
        {"complex", v, [](Mm& x) { x = mcomplex(x, x); }},
        {"fliplr of sparse", sp, [](Mm& x) { x = fliplr(x); }},
        {"rot90", counting({2, 3}), [](Mm& x) { x = rot90(x); }},
        {"rot90 by 2^32 + 1", counting({2, 3}), [](Mm& x) { x = rot90(x, Mm(4294967297.0)); }},
        // Two pairs cancel: the merged entries are then merged again.
        {"sparse of cancelling entries", Mm(), [=](Mm& x) { x = sparse(cancel_at, cancel_at, cancel_values); }},
        {"spones of sparse", wide, [](Mm& x) { x = spones(x); }},
        {"sprand of sparse", wide, [](Mm& x) { x = sprand(x); }},
        {"setxor with NaN", v, [=](Mm& x) {
             Mm r, ia, ib;
             setxor(horzcat(x, Mm(NAN)), w, i_o, r, ia, ib);
             x = ib;
         }},
        {"sort of an N-d row", reshape(twelve, row({1, 3, 4})), [](Mm& x) {
             Mm s, k;
             sort(x, i_o, s, k);
             x = k;
         }},
        {"cat of empties along 3", Mm(), [=](Mm& x) { x = cat(three, x, x); }},
        {"linspace with a fractional count", Mm(), [](Mm& x) { x = linspace(Mm(0.0), Mm(1.0), Mm(12.5)); }},
        {"isequal with stored zeros", wide, [](Mm& x) { x = Mm(double(isequal(x, full(x)))); }},
        {"diag of sparse", sp, [](Mm& x) { x = diag(x); }},
        {"diag matrix of sparse", sparse(w), [](Mm& x) { x = diag(x); }},
        {"permute", counting({2, 3}), [=](Mm& x) { x = permute(x, row({2, 1})); }},
        {"horzcat of sparse", sp, [](Mm& x) { x = horzcat(x, x); }},
        {"vertcat, sparse and full", sp, [](Mm& x) { x = vertcat(x, counting({1, 3})); }},
        {"transpose of sparse", zsp, [](Mm& x) { x = ctranspose(x); }},
        // The loop variable keeps its value when its new column is refused.
        {"for over the columns of a matrix", Mm(7.0), [=](Mm& x) {
             Mm range = grid;
             forelem(x, range, 1);
         }, test::keeps_target},
        {"for over the columns of a cell", Mm(7.0), [=](Mm& x) {
             Mm range = names;
             forelem(x, range, 2);
         }, test::keeps_target},
        {"rmfield", Mm(), [=](Mm& x) {
             Mm s;
             s.member("a") = three;
             s.member("b") = five;
             s.member("c") = three;
             x = rmfield(s, b_name);
         }},
        {"rmfield of two", Mm(), [=](Mm& x) {
             Mm s;
             s.member("a") = three;
             s.member("b") = five;
             x = rmfield(s, pair);
         }},
        {"fieldnames", Mm(), [=](Mm& x) {
             x.member("alpha") = three;
             x.member("beta") = five;
             x = fieldnames(x);
         }},
    });
}

TEST(AllocationFailure, RowFormsPastTheSpareRoom)
{
    // More rows than the 8 elements a refused block still has room for, so
    // a write into a refused result goes past its storage.
    const Mm tall = counting({10, 2});
    const Mm rows = text("rows");
    test::sweep_allocations({
        {"sortrows", tall, [=](Mm& x) { x = sortrows(x); }},
        {"sortrows with index", tall, [=](Mm& x) {
             Mm s, k;
             sortrows(x, i_o, s, k);
             x = k;
         }},
        {"unique rows with groups", tall, [=](Mm& x) {
             Mm b, i, j;
             unique(x, rows, i_o, b, i, j);
             x = j;
         }},
        {"unique rows", tall, [=](Mm& x) { x = unique(x, rows); }},
        {"ismember rows", tall, [=](Mm& x) { x = ismember(x, tall, rows); }},
    });
}

TEST(AllocationFailure, ImpossibleSizesStopBeforeWriting)
{
    // Each raises its refusal and, under a hook that returns, gives a
    // valid value without writing into storage it does not have.
    struct Case {
        const char* what;
        std::function<Mm()> statement;
        const char* message = "Out of memory!";
    };
    const std::vector<Case> cases = {
        {"speye(1e5, 1e5)", [] { return speye(Mm(1e5), Mm(1e5)); },
         "sparse: 100000x100000 has more than 2147483647 elements, the most a sparse value holds"},
        {"sprand(10, 10, 1e9)", [] { return sprand(Mm(10.0), Mm(10.0), Mm(1e9)); }},
        {"sprandn(10, 10, 1e9)", [] { return sprandn(Mm(10.0), Mm(10.0), Mm(1e9)); }},
        {"peaks(1e5)", [] { return peaks(Mm(1e5)); }},
        {"meshgrid(1:1e5)", [] { return meshgrid(colon(1.0, 1e5)); }},
        {"extend_nnz(INT_MAX - 7)",
         [] {
             Mm s = sparse(test::row({1, 0, 2}));
             s.extend_nnz(INT_MAX - 7);
             return s;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const test::returning_errors hook;
        const Mm r = c.statement();
        ASSERT_FALSE(hook.reports().empty());
        EXPECT_EQ(hook.reports().front(), c.message);
        (void)test::fingerprint(r);  // whole enough to be read
    }
}

} // namespace
