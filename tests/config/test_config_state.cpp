#include "tests/config/config_fixture.h"

#include "base/nx_exception.h"
#include "config/config_state.h"

using namespace cfgtest;

namespace {

TEST(ConfigState, TellsOnlyRealChangesAndSaveAndLoadClearIt) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    store.load();
    std::vector<bool> told;
    int id = store.state().subscribe([&](bool on) { told.push_back(on); });
    EXPECT_FALSE(store.state().changed());
    store.state().mark_changed();
    store.state().mark_changed();
    store.save();
    store.state().mark_changed();
    store.load();
    EXPECT_EQ(told, (std::vector<bool>{true, false, true, false}));
    store.state().unsubscribe(id);
    store.state().mark_changed();
    EXPECT_EQ(told.size(), 4u);
}

TEST(ConfigState, AFailedLoadRefusesEverySaveUntilALoadSucceeds) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    store.load();
    store.save();
    std::string good = ilktest::read_bytes(store.refs_path());
    std::string broken = "<struct><REFs version=\"1\"><ref tp=";
    ilktest::write_bytes(store.refs_path(), broken);
    EXPECT_ANY_THROW(store.load());
    EXPECT_TRUE(store.state().load_failed());
    EXPECT_THROW(store.save(), nxkit::nx_exception);
    EXPECT_EQ(ilktest::read_bytes(store.refs_path()), broken);

    ilktest::write_bytes(store.refs_path(), good);
    store.load();
    EXPECT_FALSE(store.state().load_failed());
    store.save();
    EXPECT_EQ(ilktest::read_bytes(store.refs_path()), good);
}

} // namespace
