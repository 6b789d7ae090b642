#pragma once
// The scaffolding of a suite run over a table of cases, each case a struct with a
// `name`: gtest names each test after its case and prints a failing case by its name.
// The printer is declared in the including file's unnamed namespace, so gtest finds it
// only for case structs declared there too (a struct outside prints as bytes, which the
// suite's .stable_names test refuses).
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>

// INSTANTIATE_TEST_SUITE_P(Kinds, Suite, ::testing::Values(...), CaseName())
struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const
    {
        return info.param.name;
    }
};

namespace {

// A case struct prints as its name, in place of its bytes.
template <typename Case, typename = decltype(std::declval<const Case&>().name)>
std::ostream& operator<<(std::ostream& os, const Case& c)
{
    return os << c.name;
}

} // namespace
