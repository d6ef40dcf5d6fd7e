// How a parameterised test's case prints: by its name. GoogleTest prints a
// parameter it knows nothing of as a dump of its bytes, both in the test's
// listed name and in a failure's "GetParam() = ...". A test file makes this
// printer visible to GoogleTest's argument-dependent lookup by declaring
//   using velmora_test::PrintTo;
// in the namespace of its case structs.
#pragma once

#include <gtest/gtest.h>

#include <concepts>
#include <ostream>
#include <string>
#include <string_view>

namespace velmora_test {

// A case that names itself: a `name` member that reads as text.
template <typename Case>
concept NamedCase = requires(const Case& c) {
    { c.name } -> std::convertible_to<std::string_view>;
};

// Chosen over GoogleTest's own unconstrained PrintTo for the same argument,
// being the more constrained of the two.
template <NamedCase Case> void PrintTo(const Case& c, std::ostream* os) {
    *os << std::string_view(c.name);
}

// The name generator of a suite whose cases are single words ("cancel"):
// the word itself. GoogleTest's PrintToStringParamName would quote it, and a
// test's name cannot hold quotes.
struct WordName {
    template <typename Word>
    std::string operator()(const ::testing::TestParamInfo<Word>& info) const {
        return std::string(info.param);
    }
};

} // namespace velmora_test
