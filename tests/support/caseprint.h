// How a parameterised test's case prints: by its name. GoogleTest prints a
// parameter it knows nothing of as a dump of its bytes, both in the test's
// listed name and in a failure's "GetParam() = ...". A test file makes this
// printer visible to GoogleTest's argument-dependent lookup by declaring
//   using velmora_test::PrintTo;
// in the namespace of its case structs.
#pragma once

#include <concepts>
#include <ostream>
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

} // namespace velmora_test
