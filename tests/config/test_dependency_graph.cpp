#include "tests/config/config_fixture.h"

#include "config/dependency_graph.h"

#include <algorithm>

using namespace cfgtest;

namespace {

// Components for the graph alone: nothing but a key and an order.
struct graph_fixture : testing::Test {
    t_ref_buff store;

    t_ref& make(const std::string& key, std::uint32_t order) {
        parts.push_back(std::make_unique<t_ref>(store, tp_group));
        parts.back()->set_key(key);
        parts.back()->set_order(order);
        return *parts.back();
    }

    static std::vector<std::string> keys_of(const std::vector<dependency_graph::reached>& out) {
        std::vector<std::string> keys;
        for (const auto& r : out)
            keys.push_back(*r.key);
        return keys;
    }

    std::vector<std::unique_ptr<t_ref>> parts;
    dependency_graph g;
    value_signal element{store};
};

using strings = std::vector<std::string>;

} // namespace

TEST_F(graph_fixture, ClosureFollowsUsersOnceAndNotesOwnedSignalsPending) {
    t_ref& a = make("K.0001", 1);
    t_ref& b = make("K.0002", 2);
    t_ref& c = make("K.0003", 3);
    t_ref& row = make("S.0001", 9);
    t_ref& feed = make("D.0001", 0);
    std::string other;
    ASSERT_TRUE(g.add_feed("a", feed, other));
    ASSERT_TRUE(g.add_owner("a", a, &element, other));
    ASSERT_TRUE(g.add_owner("b", b, &element, other));
    ASSERT_TRUE(g.add_owner("c", c, &element, other));
    // A second owner or feed of a key is refused with the first one's key.
    EXPECT_FALSE(g.add_owner("a", b, &element, other));
    EXPECT_EQ(other, "K.0001");
    EXPECT_FALSE(g.add_feed("a", b, other));
    EXPECT_EQ(other, "D.0001");
    // b uses a, c uses a and b; the row watches b.
    g.add_use("a", "b");
    g.add_use("a", "c");
    g.add_use("b", "c");
    g.add_use("b", "c");
    g.add_watch("b", "S.0001", &row);
    g.add_watch("b", "S.0001", &row);

    const dependency_graph::name* named = g.find_name("D.0001");
    ASSERT_NE(named, nullptr);
    EXPECT_TRUE(named->feed);
    std::vector<dependency_graph::reached> out;
    g.begin_round();
    g.expand(named->signal, -1, out);
    strings keys = keys_of(out);
    std::sort(keys.begin(), keys.end());
    // c is reached twice (through a and through b) and expanded once.
    EXPECT_EQ(keys, (strings{"K.0001", "K.0002", "K.0003", "S.0001"}));
    for (const char* s : {"a", "b", "c"})
        EXPECT_TRUE(g.pending(s)) << s;
    auto row_entry = std::find_if(out.begin(), out.end(), [](const auto& r) { return *r.key == "S.0001"; });
    ASSERT_NE(row_entry, out.end());
    EXPECT_EQ(row_entry->component, &row);
    EXPECT_EQ(row_entry->order, 9u);
    EXPECT_EQ(row_entry->signal, dependency_graph::none);

    // One level: the owner, the direct users, the watchers of the signal itself.
    g.clear_pending();
    out.clear();
    g.begin_round();
    g.expand(g.find_signal("b"), 1, out);
    keys = keys_of(out);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (strings{"K.0002", "K.0003", "S.0001"}));
    EXPECT_FALSE(g.pending("a"));
    EXPECT_TRUE(g.take_pending(g.find_signal("c")));
    EXPECT_FALSE(g.take_pending(g.find_signal("c")));

    // A component that goes is no longer pointed at, its key still is.
    g.unregister(row);
    g.unregister(b);
    EXPECT_EQ(g.find_name("K.0002"), nullptr);
    EXPECT_EQ(g.owner(g.find_signal("b")), nullptr);
    EXPECT_EQ(g.owner_key(g.find_signal("b")), "K.0002");
    out.clear();
    g.begin_round();
    g.expand(g.find_signal("b"), -1, out);
    for (const auto& r : out)
        EXPECT_TRUE(r.component == nullptr || *r.key != "S.0001") << *r.key;
}

TEST_F(graph_fixture, CycleIsReportedAlongItsPath) {
    std::string other;
    for (const char* s : {"s1", "s2", "s3", "s4"})
        ASSERT_TRUE(g.add_owner(s, make(std::string("K.") + s, 1), &element, other));
    // s2 uses s1, s3 uses s2, s4 uses s3.
    g.add_use("s1", "s2");
    g.add_use("s2", "s3");
    g.add_use("s3", "s4");
    EXPECT_TRUE(g.cycle_through("s2", "s4").empty());
    // s1 using s4 closes s1 -> s2 -> s3 -> s4 -> s1.
    EXPECT_EQ(g.cycle_through("s4", "s1"), (strings{"s1", "s2", "s3", "s4"}));
    EXPECT_EQ(g.cycle_through("s3", "s2"), (strings{"s2", "s3"}));
    EXPECT_TRUE(g.cycle_through("unknown", "s1").empty());
}

TEST_F(graph_fixture, PendingMarksOutliveARebuildForSignalsThatComeBack) {
    std::string other;
    t_ref& a = make("K.0001", 1);
    ASSERT_TRUE(g.add_owner("a", a, &element, other));
    ASSERT_TRUE(g.add_owner("gone", make("K.0002", 2), &element, other));
    g.set_pending(g.find_signal("a"), true);
    g.set_pending(g.find_signal("gone"), true);
    g.clear();
    EXPECT_TRUE(g.empty());
    ASSERT_TRUE(g.add_owner("a", a, &element, other));
    g.finish_rebuild();
    EXPECT_TRUE(g.pending("a"));
    EXPECT_FALSE(g.pending("gone"));
    EXPECT_EQ(g.signal_of(a), g.find_signal("a"));

    // Orders are taken again on demand.
    a.set_order(42);
    g.refresh_orders();
    EXPECT_EQ(g.owner_order(g.find_signal("a")), 42u);
}
