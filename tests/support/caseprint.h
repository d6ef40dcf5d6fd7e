// Parameterised tests print their case by its name, not as a dump of its
// bytes: a test file says `using velmora_test::PrintTo;` beside its case
// structs, and GoogleTest then finds this for every case with a `name`.
#pragma once

#include <ostream>
#include <string_view>

namespace velmora_test {

template <typename Case>
requires requires(const Case& c) {
    std::string_view(c.name);
}
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

} // namespace velmora_test
