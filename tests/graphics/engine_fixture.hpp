// A fresh headless engine for each test, with the callback hook recording
// the callback texts the library hands it (the engine runs none itself).
#pragma once

#include "graphics/property_names.hpp"
#include "test_support.hpp"
#include "vizmo_test.h"

#include <velkor.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace test {

inline std::vector<std::string> recorded_callbacks;

class engine_fixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        vizmo::test::reset();
        recorded_callbacks.clear();
        previous = callback_func;
        callback_func = record;
    }
    void TearDown() override
    {
        callback_func = previous;
        hosted_axes = Mm();
        vizmo::test::reset();
    }

private:
    static Mm record(Mm text)
    {
        recorded_callbacks.push_back(text_of(text));
        return x_M;
    }
    callback_func_t previous = nullptr;
};

} // namespace test
