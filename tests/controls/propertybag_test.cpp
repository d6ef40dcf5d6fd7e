// The property bag a button's stored properties are read from and written to.
#include "controls/propertybag.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(PropertyBag, namesMatchWithoutRegardToCase) {
    PropertyBag bag;
    bag.writeProperty(QStringLiteral("enabled"), false, true);
    EXPECT_FALSE(bag.readProperty(QStringLiteral("Enabled"), true).toBool());
    EXPECT_FALSE(bag.readProperty(QStringLiteral("ENABLED"), true).toBool());
    bag.writeProperty(QStringLiteral("ENABLED"), QStringLiteral("-1"), true);
    EXPECT_EQ(bag.names(), QStringList{QStringLiteral("enabled")});
    EXPECT_EQ(bag.readProperty(QStringLiteral("missing"), 42).toInt(), 42);
}

} // namespace
} // namespace velmora
