// The test program's main: starts the library as a host that catches errors
// would (flag 0x10, no message boxes) and captures the print hook.
#include "test_support.hpp"

#include <string>

namespace {

std::string captured;

void capture(const char* text)
{
    if (text)
        captured += text;
}

class LibraryEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        initM2(4510, sizeof(Mm));
        qv_set_default_error_flags(0x10, 1);
        qv_set_default_error_flags(0x2, 0);
        qv_set_default_warning_flags(0x2, 0);
        qv_set_print_handler(capture);
    }
};

} // namespace

namespace test {
const std::string& printed() { return captured; }
void clear_printed() { captured.clear(); }
} // namespace test

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
    ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);
    return RUN_ALL_TESTS();
}
