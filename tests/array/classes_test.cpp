// User classes: the registry, method dispatch and the class functions.
#include "test_support.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace {

Mm make_struct(const char* field = "a")
{
    Mm s(0, 0, 0, 1, 1, qv_cell);
    s.addfield(field, 0);
    return s;
}

Mm object_of(const char* class_name)
{
    return mclass(make_struct(), TM(class_name));
}

std::vector<std::string> calls;

Mm first_plus(Mm, Mm)
{
    calls.push_back("first");
    return Mm(1.0);
}
Mm second_plus(Mm, Mm)
{
    calls.push_back("second");
    return Mm(2.0);
}
Mm count_args(Mm a, Mm b, Mm c)
{
    // A missing value arrives as a copy of nop_M: empty.
    calls.push_back(std::to_string(a.getnnz()) + "," + (isempty(b) ? "nop" : "value") + "," +
                    (isempty(c) ? "nop" : "value"));
    return x_M;
}
Mm with_outputs(Mm a, Mm, i_o_t, Mm& out1, Mm&)
{
    out1 = a;
    calls.push_back("outputs");
    return Mm(3.0);
}

TEST(Classes, RegisteringTwiceReplacesTheFunction)
{
    calls.clear();
    register_class_function("poly", "plus", first_plus);
    register_class_function("poly", "plus", second_plus);
    EXPECT_EQ(is_class_function("poly", "plus"), 1);
    Mm r = call_class_function("plus", object_of("poly"), Mm(1.0));
    EXPECT_EQ(r.r(), 2);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], "second");
}

TEST(Classes, UnregisteringFreesASlotForTheNextMethod)
{
    register_class_function("reuse", "minus", first_plus);
    register_class_function("reuse", "times", first_plus);
    unregister_class_function("reuse", "minus");
    EXPECT_EQ(is_class_function("reuse", "minus"), 0);
    register_class_function("reuse", "rdivide", second_plus);
    EXPECT_EQ(is_class_function("reuse", "rdivide"), 1);
    EXPECT_ERROR(unregister_class_function("reuse", "minus"), "del: no function minus in class reuse");
    EXPECT_ERROR(unregister_class_function("never_seen", "x"), "del: no function x in class never_seen");
}

TEST(Classes, LookupsDoNotAddClassesAndNamesAreExact)
{
    EXPECT_EQ(is_class_function("ghost", "plus"), 0);
    register_class_function("Poly", "plus", first_plus);
    EXPECT_EQ(is_class_function("Poly", "plus"), 1);
    EXPECT_EQ(is_class_function("POLY", "plus"), 0);
    EXPECT_EQ(is_class_function("Poly", "Plus"), 0);
    Mm x = object_of("ghost");  // mclass adds the class, without methods
    EXPECT_EQ(is_class_function("ghost", "plus"), 0);
    char name[64];
    Mstr(mclass(x), name, sizeof name);
    EXPECT_STREQ(name, "ghost");
}

TEST(Classes, TheDecidingValueAndTheMissingMethod)
{
    calls.clear();
    register_class_function("poly", "plus", second_plus);
    register_class_function("double", "plus", first_plus);
    call_class_function("plus", Mm(1.0), object_of("poly"));
    call_class_function("plus", Mm(1.0), Mm(2.0));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "second") << "the only object decides";
    EXPECT_EQ(calls[1], "first") << "without objects the last value's class name decides";
    unregister_class_function("double", "plus");
    EXPECT_ERROR(call_class_function("plus", make_struct(), Mm(1.0)), "class struct has no method named plus");
}

TEST(Classes, MethodsAreCalledWithTheirOwnSignature)
{
    calls.clear();
    register_class_function("sig", "three", count_args);
    register_class_function("sig", "outs", with_outputs);
    Mm obj = object_of("sig");
    call_class_function("three", obj);
    call_class_function("three", obj, Mm(1.0));
    Mm r = call_class_function("outs", obj, Mm(1.0));
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], "1,nop,nop");
    EXPECT_EQ(calls[1], "1,value,nop");
    EXPECT_EQ(calls[2], "outputs");
    EXPECT_EQ(r.r(), 3);
}

TEST(Classes, TheThirtyThirdClassIsRefused)
{
    EXPECT_EXIT(
        {
            std::vector<std::string> names;
            for (int k = 0; k < 40; ++k)
                names.push_back("filler" + std::to_string(k));
            std::string message;
            for (const auto& n : names) {
                message = test::error_of([&] { mclass(make_struct(), TM(n.c_str())); });
                if (!message.empty())
                    break;
            }
            std::_Exit(message == "too many classes" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Classes, ClassNamesAndIsa)
{
    Mm sparse(0, 1, 0, 2, 2, qv_double);
    EXPECT_EQ(isa(sparse, TM("double")), 1);
    EXPECT_EQ(isa(sparse, TM("sparse")), 1);
    EXPECT_EQ(isa(TM("x"), TM("double")), 0);
    EXPECT_EQ(isa(TM("x"), TM("char")), 1);
    EXPECT_EQ(isa(test::bytes(1, 1, {1}), TM("uint8")), 1);
    EXPECT_EQ(isa(Mm(0, 0, 0, 1, 1, qv_cell), TM("cell")), 1);
    Mm s = make_struct();
    Mm o = mclass(s, TM("myclass"));
    EXPECT_EQ(isa(o, TM("myclass")), 1);
    EXPECT_EQ(isa(s, TM("struct")), 1) << "the original keeps its class";
    EXPECT_EQ(o.getpr((Mm*)nullptr), s.getpr((Mm*)nullptr)) << "and shares its data";
}

TEST(Classes, LongClassNamesKeep39CharactersWithAWarning)
{
    test::clear_printed();
    std::string long_name(45, 'q');
    Mm o = mclass(make_struct(), TM(long_name.c_str()));
    EXPECT_EQ(test::printed(), "warning: Mstr: buffer too small - chopped\n\n");
    char name[64];
    Mstr(mclass(o), name, sizeof name);
    EXPECT_EQ(std::string(name), long_name.substr(0, 39));
    test::clear_printed();
}

TEST(Classes, Conversions)
{
    Mm ab = mdouble(TM("AB"));
    EXPECT_EQ(ab.isstr(), 0);
    EXPECT_EQ(test::at(ab, 0), 65);
    EXPECT_EQ(test::at(ab, 1), 66);
    Mm d = mdouble(test::bytes(1, 2, {7, 255}));
    EXPECT_EQ(d.gettype(), qv_double);
    EXPECT_EQ(test::at(d, 1), 255);
    Mm b = test::bytes(1, 1, {9});
    Mm same = muint8(b);
    EXPECT_EQ(same.getpr((unsigned char*)nullptr), b.getpr((unsigned char*)nullptr));
    Mm u = muint8(test::row({300, -1}));
    EXPECT_EQ(u.ur(1), 44);
    EXPECT_EQ(u.ur(2), 255);
    EXPECT_ERROR(muint16(Mm(1.0)), "uint16 is not yet implemented");
    EXPECT_ERROR(mdouble(Mm(0, 0, 0, 1, 1, qv_cell)), "Can not convert (temporary) into a numeric matrix");
    EXPECT_ERROR(mdouble(make_struct()), "class struct has no method named double");
}

// Bytes and characters have no sparse form: the conversion of a sparse
// value is the conversion of its full value, whatever it stores.
TEST(Classes, ConversionsOfSparseValuesAreThoseOfTheirFullValues)
{
    const double inf = INFINITY, nan = NAN;
    Mm with_stored_zero(spalloc(Mm(2.0), Mm(3.0), Mm(4.0)), "S");
    with_stored_zero(Mm(2.0), Mm(3.0)) = Mm(9.0);
    Mm logical_mask = sparse(test::row({1, 0, 1}));
    logical_mask.setlogical(1);
    const std::vector<std::pair<const char*, Mm>> cases = {
        {"sparse([7 0; 0 5])", sparse(test::real(2, 2, {7, 0, 0, 5}))},
        {"values to saturate and round", sparse(test::real(2, 4, {300, -1, 2.5, 0, 255.4, inf, -inf, nan}))},
        {"-0 and tiny values", sparse(test::row({-0.0, 1e-300, 0.49, 0.51}))},
        {"a complex value", sparse(test::complex(2, 2, {7, 0, 0, 5}, {1, 0, 300, 0}))},
        {"stored zeros left by spalloc", with_stored_zero},
        {"a logical mask", logical_mask},
        {"nothing stored", sparse(Mm(3.0), Mm(2.0))},
        {"an empty value", sparse(Mm(0.0), Mm(4.0))},
    };
    for (const auto& [what, s] : cases) {
        SCOPED_TRACE(what);
        const Mm f = full(s);
        const Mm u = muint8(s), expected = muint8(f);
        EXPECT_FALSE(u.issparse());
        EXPECT_EQ(u.gettype(), qv_uint8);
        EXPECT_EQ(u.isc(), expected.isc());
        EXPECT_EQ(test::extents(u), test::extents(expected));
        EXPECT_EQ(isequal(u, expected), 1);
        for (int k = 0; k < expected.size(); ++k) {
            EXPECT_EQ(u.getpr((unsigned char*)nullptr)[k], expected.getpr((unsigned char*)nullptr)[k]) << k;
            if (expected.isc()) {
                EXPECT_EQ(u.getpi((unsigned char*)nullptr)[k], expected.getpi((unsigned char*)nullptr)[k]) << k;
            }
        }
        const Mm c = mchar(s), c_full = mchar(f);
        EXPECT_FALSE(c.issparse());
        EXPECT_EQ(c.isstr(), c_full.isstr());
        const std::vector<double> got = test::values(c), want = test::values(c_full);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t k = 0; k < got.size(); ++k)
            EXPECT_BITS_EQ(got[k], want[k]);
    }
}

// The readers a user meets after the conversion.
TEST(Classes, BytesOfASparseValueReadAsBytes)
{
    const Mm u(muint8(sparse(test::real(2, 2, {7, 0, 0, 5}))), "U");
    const Mm seven_five = muint8(test::real(2, 2, {7, 0, 0, 5}));
    EXPECT_EQ(test::values(mdouble(u)), (std::vector<double>{7, 0, 0, 5}));
    EXPECT_EQ(test::values(mdouble(full(u))), (std::vector<double>{7, 0, 0, 5}));
    EXPECT_EQ(test::values(mdouble(u == Mm(7.0))), (std::vector<double>{1, 0, 0, 0}));
    EXPECT_EQ(test::values(mdouble(u + Mm(1.0))), (std::vector<double>{8, 1, 1, 6}));
    EXPECT_EQ(Mm(u(Mm(2.0), Mm(2.0))).ur(1), 5);
    EXPECT_EQ(test::values(mdouble(transpose(u))), (std::vector<double>{7, 0, 0, 5}));
    EXPECT_EQ(test::values(mdouble(max(u))), (std::vector<double>{7, 5}));
    EXPECT_EQ(isequal(u, seven_five), 1);
}

TEST(Classes, SubscriptEntries)
{
    EXPECT_ERROR(subsasgn(Mm(1.0)), "subsasgn does not accept 1 input");
    EXPECT_ERROR(subsasgn(Mm(1.0), Mm(2.0)), "subsasgn does not accept 2 inputs");
    EXPECT_ERROR(subsref(Mm(1.0)), "subsref does not accept 1 input");
    EXPECT_ERROR(subsref(Mm(1.0), Mm(2.0)), "dummy subsref");
    EXPECT_ERROR(subsasgn(Mm(1.0), Mm(2.0), Mm(3.0)), "dummy subsasgn");
    EXPECT_EQ(subsindex(TM("A")).r(), 65);
}

} // namespace
