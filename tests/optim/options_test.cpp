// The options vector and structure: foptions' completion, optimset's pairs,
// optimget's defaults, and the conversions the solvers read them through.
#include "optim/options.hpp"
#include "test_support.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace {

const std::vector<double> defaults = {0, 1e-4, 1e-4, 1e-6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1e-8, 0.1, 0};

std::vector<double> with(std::vector<double> v, std::vector<std::pair<int, double>> changes)
{
    for (auto [pos, value] : changes)
        v[pos - 1] = value;
    return v;
}

TEST(Foptions, CompletesTheVector)
{
    struct Case {
        const char* what;
        Mm input;
        std::vector<double> expected;
    };
    std::vector<double> twenty(18, 0.0);
    const std::vector<Case> cases = {
        {"no argument", foptions(), defaults},
        {"empty", Mm(), defaults},
        {"NaN replaced, negative kept", test::row({1, 0, NAN, -5}), with(defaults, {{1, 1}, {4, -5}})},
        {"twenty zeros are cut", Mm(0, 0, 0, 1, 20, qv_double), defaults},
        {"position 18 reset", test::row({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7}), defaults},
        {"user values kept", test::row({0, 1e-3, 2e-3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5}),
         with(defaults, {{2, 1e-3}, {3, 2e-3}, {14, 5}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm in = c.input;
        if (std::string(c.what) == "twenty zeros are cut")
            std::fill(in.addr(), in.addr() + 20, 0.0);
        const Mm out = foptions(in);
        EXPECT_EQ(out.size(), 18);
        EXPECT_EQ(out.rows(), 1);
        EXPECT_EQ(test::values(out), c.expected);
    }
}

TEST(Foptions, LeavesTheCallersVectorAlone)
{
    Mm v = test::row({1, 0, 0});
    const Mm out = foptions(v);
    EXPECT_EQ(test::values(v), (std::vector<double>{1, 0, 0}));
    EXPECT_EQ(test::at(out, 1), 1e-4);
}

std::vector<std::string> field_names(const Mm& s)
{
    std::vector<std::string> out;
    for (int k = 0; k < s.getnfields(); ++k)
        out.push_back(s.getfield(k));
    return out;
}

TEST(Optimset, DefaultStructureHasTheNineEmptyFields)
{
    const Mm s = optimset();
    EXPECT_EQ(field_names(s), (std::vector<std::string>{"Display", "TolX", "TolFun", "TolCon", "DerivativeCheck",
                                                         "MaxFunEvals", "MinAbsMax", "DiffMinChange",
                                                         "DiffMaxChange"}));
    for (const std::string& name : field_names(s)) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(isempty(getfield(s, TM(name.c_str()))));
    }
}

TEST(Optimset, NamesAndValues)
{
    EXPECT_ERROR(optimset(Mm(1.0)), "not supported.");

    EXPECT_TRUE(isempty(optimset(TM("TolX"), Mm(0, 0, 0, 1, 0, qv_cell))));
    EXPECT_FALSE(isstruct(optimset(TM("TolX"), Mm(0, 0, 0, 1, 0, qv_cell))));

    const Mm s = optimset(TM("TolX"), test::cell_row({Mm(1e-6), TM("Display")}));
    EXPECT_EQ(field_names(s), (std::vector<std::string>{"TolX", "Display"}));
    EXPECT_EQ(test::at(getfield(s, TM("TolX")), 0), 1e-6);
    EXPECT_TRUE(isempty(getfield(s, TM("Display"))));

    const Mm later = optimset(TM("tolx"), test::cell_row({Mm(1.0), TM("tolx"), Mm(2.0)}));
    EXPECT_EQ(field_names(later), (std::vector<std::string>{"tolx"})) << "the case as written";
    EXPECT_EQ(test::at(getfield(later, TM("tolx")), 0), 2.0) << "a later pair overwrites";
}

TEST(Optimset, StructureFirstIsNeverChanged)
{
    const Mm base = optimset(TM("TolX"), test::cell_row({Mm(1e-3)}));
    Mm copy = base;
    const Mm s = optimset(copy, test::cell_row({TM("TolX"), Mm(5.0), TM("MaxIter"), Mm(9.0)}));
    EXPECT_EQ(test::at(getfield(copy, TM("TolX")), 0), 1e-3);
    EXPECT_EQ(field_names(copy), (std::vector<std::string>{"TolX"}));
    EXPECT_EQ(test::at(getfield(s, TM("TolX")), 0), 5.0);
    EXPECT_EQ(test::at(getfield(s, TM("MaxIter")), 0), 9.0);

    const Mm only = optimset(copy, test::cell_row({TM("TolX")}));
    EXPECT_EQ(test::at(getfield(only, TM("TolX")), 0), 1e-3) << "a single list element sets nothing";
}

TEST(Optimget, FieldOrDefault)
{
    EXPECT_TRUE(isempty(optimget(optimset(), TM("TolX"), Mm(5.0)))) << "the field exists, empty";
    const Mm s = optimset(TM("TolX"), test::cell_row({Mm(1e-6)}));
    EXPECT_EQ(test::at(optimget(s, TM("MaxIter"), Mm(7.0)), 0), 7.0);
    EXPECT_EQ(test::at(optimget(s, TM("TolX")), 0), 1e-6);
    EXPECT_TRUE(isempty(optimget(s, TM("MaxIter"))));
    EXPECT_EQ(test::at(optimget(Mm(), TM("TolX"), Mm(3.0)), 0), 3.0) << "not a structure";
}

TEST(OptionsFromStruct, OneElementFieldsOnly)
{
    struct Case {
        const char* what;
        Mm opts;
        std::vector<double> expected;
    };
    const std::vector<Case> cases = {
        {"empty fields", optimset(), defaults},
        {"Display 'off' ignored", optimset(TM("Display"), test::cell_row({TM("off")})), defaults},
        {"one character gives its code", optimset(TM("Display"), test::cell_row({TM("x")})),
         with(defaults, {{1, 'x'}})},
        {"tolerances and limits",
         optimset(TM("TolX"), test::cell_row({Mm(1e-3), TM("MaxFunEvals"), Mm(12.0), TM("MinAbsMax"), Mm(2.0),
                                              TM("DiffMaxChange"), Mm(0.5)})),
         with(defaults, {{2, 1e-3}, {14, 12}, {15, 2}, {17, 0.5}})},
        {"vector value ignored", optimset(TM("TolFun"), test::cell_row({test::row({1, 2})})), defaults},
        {"exact names only", optimset(TM("tolx"), test::cell_row({Mm(1.0)})), defaults},
        {"not a structure", Mm(3.0), defaults},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::values(options_from_struct(c.opts)), c.expected);
    }
}

TEST(OptionIndex, FoldsLettersOnly)
{
    const char* const table[] = {"RelTol", "AbsTol", "Refine", "InitialStep"};
    struct Case {
        const char* name;
        int expected;
    };
    const std::vector<Case> cases = {
        {"RelTol", 1}, {"RELTOL", 1}, {"reltol", 1}, {"Rel", 0}, {"RelTolx", 0},
        {"initialstep", 4}, {"", 0}, {"Abs_Tol", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(option_index(TM(c.name), table, 4), c.expected);
    }
    const std::string long_name = std::string(63, 'a');
    const char* const long_table[] = {long_name.c_str()};
    EXPECT_EQ(option_index(TM((long_name + "bcd").c_str()), long_table, 1), 1) << "the first 63 characters count";
}

TEST(OptionInt, TruncatesWithSaturation)
{
    EXPECT_EQ(option_int(3.9), 3);
    EXPECT_EQ(option_int(-3.9), -3);
    EXPECT_EQ(option_int(NAN), 0);
    EXPECT_EQ(option_int(1e300), 2147483647);
    EXPECT_EQ(option_int(-INFINITY), -2147483647 - 1);
}

} // namespace
