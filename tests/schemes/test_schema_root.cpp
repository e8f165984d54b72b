#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "schemes/t_schema_root.h"

#include <gtest/gtest.h>

namespace nxkit {
namespace {

TEST(SchemaRoot, SwitchingTimeIsNormalised) {
    EXPECT_EQ(clamp_tmoo(0, true), 15);
    EXPECT_EQ(clamp_tmoo(0, false), 0);
    EXPECT_EQ(clamp_tmoo(1, false), 5);
    EXPECT_EQ(clamp_tmoo(3, true), 5);
    EXPECT_EQ(clamp_tmoo(5, true), 5);
    EXPECT_EQ(clamp_tmoo(100, true), 100);
    EXPECT_EQ(clamp_tmoo(250, false), 100);
}

TEST(SchemaRoot, ParameterSetsTheProcessWideTime) {
    t_ref_buff store;
    t_schema_root root(store);
    EXPECT_EQ(t_schema_root::tmoo(), 15);
    EXPECT_TRUE(root.set_parameter(0, " 3 "));
    std::string value, name;
    ASSERT_TRUE(root.get_parameter(0, value, name));
    EXPECT_EQ(name, "t переключения,с");
    EXPECT_EQ(value, "5");
    EXPECT_FALSE(root.get_parameter(1, value, name));
    root.set_parameter(0, "0");
    EXPECT_EQ(t_schema_root::tmoo(), 15);
}

} // namespace
} // namespace nxkit
