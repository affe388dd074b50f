// Byte values with an imaginary part, and the marks a conversion to bytes
// leaves: a complex uint8 value is a value like any other (an imaginary
// byte array beside the real one), functions that see it as real do so on a
// copy of their own, and bytes never claim to be text or logical.
#include "test_support.hpp"
#include "value/mm_access.hpp"

#include <string>
#include <vector>

namespace {

std::vector<unsigned> real_bytes(const Mm& x)
{
    const unsigned char* p = x.getpr((unsigned char*)nullptr);
    return std::vector<unsigned>(p, p + x.size());
}

std::vector<unsigned> imag_bytes(const Mm& x)
{
    const unsigned char* p = x.getpi((unsigned char*)nullptr);
    return p ? std::vector<unsigned>(p, p + x.size()) : std::vector<unsigned>{};
}

std::string class_of(const Mm& x) { return test::text_of(mclass(x)); }

// u = uint8([1 2 3]); u(2) = 7 + 2i, shared with a copy or not.
Mm complex_bytes(bool shared, Mm& holder)
{
    Mm u = muint8(test::row({1, 2, 3}));
    if (shared)
        holder = u;
    u(Mm(2.0)) = test::complex(1, 1, {7}, {2});
    return u;
}

TEST(ComplexBytes, AComplexSourceMakesAComplexByteValue)
{
    for (bool shared : {false, true}) {
        SCOPED_TRACE(shared ? "shared" : "unshared");
        Mm holder;
        const Mm u = complex_bytes(shared, holder);
        EXPECT_EQ(mm_access::header_fault(u), nullptr);
        EXPECT_EQ(u.gettype(), qv_uint8);
        EXPECT_EQ(real_bytes(u), (std::vector<unsigned>{1, 7, 3}));
        EXPECT_EQ(imag_bytes(u), (std::vector<unsigned>{0, 2, 0}));
        if (shared) {
            EXPECT_EQ(holder.isc(), 0) << "the copy keeps the old value";
        }
    }

    Mm whole = muint8(test::row({1, 2, 3}));
    whole(c_p) = test::complex(1, 3, {4, 5, 6}, {1, 0, 3});
    EXPECT_EQ(mm_access::header_fault(whole), nullptr);
    EXPECT_EQ(whole.gettype(), qv_uint8);
    EXPECT_EQ(real_bytes(whole), (std::vector<unsigned>{4, 5, 6}));
    EXPECT_EQ(imag_bytes(whole), (std::vector<unsigned>{1, 0, 3}));

    const Mm converted = muint8(test::complex(1, 2, {300.7, -1}, {2.5, 256}));
    EXPECT_EQ(mm_access::header_fault(converted), nullptr);
    EXPECT_EQ(real_bytes(converted), (std::vector<unsigned>{44, 255}));
    EXPECT_EQ(imag_bytes(converted), (std::vector<unsigned>{2, 0}));
}

// Comparisons and max/min see a complex byte value as its double form
// (7 + 2i is not 7; moduli decide max and min); the operand itself, and
// every copy sharing its block, keep the imaginary part.
TEST(ComplexBytes, ReadersLeaveTheImaginaryPartWhereItIs)
{
    // Results of byte operands are bytes: read as numbers.
    struct Case {
        const char* what;
        Mm (*call)(const Mm& u);
        std::vector<double> expected;
    };
    const std::vector<Case> cases = {
        {"u == 7", [](const Mm& u) { return u == Mm(7.0); }, {0, 0, 0}},
        {"u == 7.0", [](const Mm& u) { return u == 7.0; }, {0, 0, 0}},
        {"u ~= 7", [](const Mm& u) { return u != Mm(7.0); }, {1, 1, 1}},
        {"u == 3", [](const Mm& u) { return u == Mm(3.0); }, {0, 0, 1}},
        {"u < 3", [](const Mm& u) { return u < Mm(3.0); }, {1, 0, 0}},
        {"3 >= u", [](const Mm& u) { return Mm(3.0) >= u; }, {1, 0, 1}},
        {"u > u", [](const Mm& u) { return u > u; }, {0, 0, 0}},
        {"max(u)", [](const Mm& u) { return max(u); }, {7}},
        {"min(u)", [](const Mm& u) { return min(u); }, {1}},
        {"max(u, [], 2)", [](const Mm& u) { return max(u, x_M, Mm(2.0)); }, {7}},
        {"[m, k] = min(u)",
         [](const Mm& u) {
             Mm m, k;
             min(u, i_o, m, k);
             return k;
         },
         {1}},
    };
    for (bool shared : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (shared ? ", shared" : ", unshared"));
            Mm holder;
            const Mm u = complex_bytes(shared, holder);
            const Mm copy = u;
            EXPECT_EQ(test::values(mdouble(c.call(u))), c.expected);
            EXPECT_EQ(u.isc(), 1) << "the operand lost its imaginary part";
            EXPECT_EQ(imag_bytes(u), (std::vector<unsigned>{0, 2, 0}));
            EXPECT_EQ(isequal(u, copy), 1);
        }
    }
}

// The same for a complex double whose imaginary part is all zero: the
// front drops it from its own copy only.
TEST(ComplexBytes, AnAllZeroImaginaryPartIsDroppedFromACopyOnly)
{
    const Mm z = test::complex(1, 3, {3, 1, 2}, {0, 0, 0});
    const double* im = z.addi();
    EXPECT_EQ(test::values(z == Mm(1.0)), (std::vector<double>{0, 1, 0}));
    EXPECT_EQ(test::values(max(z)), (std::vector<double>{3}));
    EXPECT_EQ(max(z).isc(), 0) << "the result is real";
    EXPECT_EQ(test::values(min(z)), (std::vector<double>{1}));
    EXPECT_EQ(z.addi(), im) << "the operand keeps its imaginary part";
}

// A conversion to bytes clears the text and logical marks; a bracket list
// that ends in bytes is no text.
TEST(ComplexBytes, BytesAreNeitherTextNorLogical)
{
    const Mm from_text = muint8(TM("ab"));
    EXPECT_EQ(class_of(from_text), "uint8");
    EXPECT_EQ(isuint8(from_text), 1);
    EXPECT_EQ(from_text.isstr(), 0);
    EXPECT_EQ(real_bytes(from_text), (std::vector<unsigned>{97, 98}));

    const Mm from_logical = muint8(mlogical(Mm(1.0)));
    EXPECT_EQ(islogical(from_logical), 0);
    EXPECT_EQ(class_of(from_logical), "uint8");
    const Mm back = mdouble(from_logical);
    EXPECT_EQ(islogical(back), 0) << "the mark does not come back";
    EXPECT_EQ(class_of(back), "double");
    EXPECT_EQ(test::values(back), (std::vector<double>{1}));

    struct Case {
        const char* what;
        Mm value;
        std::vector<unsigned> bytes;
    };
    const std::vector<Case> cases = {
        {"[TM(''), uint8(101)]", (BR(TM("")), muint8(Mm(101.0))), {101}},
        {"[TM('a'), uint8(101)]", (BR(TM("a")), muint8(Mm(101.0))), {97, 101}},
        {"[uint8(101), 'a']", (BR(muint8(Mm(101.0))), TM("a")), {101, 97}},
        {"['a'; uint8(101)]", (BR(TM("a")), semi, muint8(Mm(101.0))), {97, 101}},
        {"horzcat('a', uint8(101))", horzcat(TM("a"), muint8(Mm(101.0))), {97, 101}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(class_of(c.value), "uint8");
        EXPECT_EQ(c.value.isstr(), 0);
        EXPECT_EQ(real_bytes(c.value), c.bytes);
    }

    // Text stays text where it stays double.
    EXPECT_EQ(class_of((BR(TM("a")), Mm(98.0))), "char");
    EXPECT_EQ(class_of(mdouble(muint8(TM("a")))), "double");
}

// Functions that read a value's elements as numbers read a byte value's
// bytes as the numbers they are, never its storage as doubles.
TEST(ComplexBytes, FunctionsReadByteValuesAsNumbers)
{
    const Mm bytes = muint8(test::row({1, 0, 200}));
    EXPECT_EQ(test::values(sp2coo(bytes)), (std::vector<double>{1, 1, 1, 1, 3, 3, 1, 200, 0}));
    EXPECT_EQ(test::extents(sp2coo(bytes)), (std::vector<int>{3, 3}));
    const Mm complex = muint8(test::complex(1, 3, {1, 0, 3}, {0, 0, 2}));
    const Mm coo = sp2coo(complex);
    ASSERT_EQ(test::extents(coo), (std::vector<int>{3, 4}));
    // Rows, columns, real parts, imaginary parts, with the extents below.
    EXPECT_EQ(test::values(coo), (std::vector<double>{1, 1, 1, 1, 3, 3, 1, 3, 0, 0, 2, 0}));

    // cdf2rdf with eigenvalues held as bytes: no pair to turn, V comes back.
    const Mm V = test::real(2, 2, {1, 0, 0, 1});
    const Mm D = muint8(test::real(2, 2, {1, 0, 0, 2}));
    EXPECT_EQ(test::values(cdf2rdf(V, D)), (std::vector<double>{1, 0, 0, 1}));
}

} // namespace
