#include "tests/shell/shell_fixture.h"

#include "schemes/control/nx_ctrl_ax_modus50.h"
#include "schemes/control/nx_view_schema.h"
#include "schemes/control/scheme_control.h"
#include "views/nx_view_tree.h"

#include <QApplication>

#include <filesystem>

namespace {

using namespace nxkit;
using shelltest::shell_test;

// The demo station: the interlock table S.0000.0000 and the scheme "Северная" (S.0001).
class SchemeLinks : public shell_test {
protected:
    void SetUp() override {
        shell_test::SetUp();
        namespace fs = std::filesystem;
        fs::create_directories(dir() + "SDE");
        fs::copy_file(DEMO_FOLDER "/refs.ini", dir() + "refs.ini",
                      fs::copy_options::overwrite_existing);
        fs::copy_file(DEMO_FOLDER "/SDE/Северная.sde", dir() + "SDE/Северная.sde",
                      fs::copy_options::overwrite_existing);
    }
    void TearDown() override {
        shell_test::TearDown();
        std::error_code ec;
        std::filesystem::remove_all(dir() + "SDE", ec);
        std::filesystem::remove(dir() + "refs.ini", ec);
    }

    static inline const std::string table = "S.0000.0000";
    static inline const std::string scheme = "S.0001";
    static inline const std::string q1 = "S.0001.0000.0000.0000";
    static inline const std::string qs1 = "S.0001.0000.0003.0000";
};

// The main window links the scheme tree and the scheme view as each other's selection
// listeners: a press on the drawing (or a click in a table) selects the component in the tree
// and so in the editor, and a component chosen in the tree is brought into view.
TEST_F(SchemeLinks, SchemeTreeAndSchemeViewFollowEachOther) {
    open_window();
    auto* view = dynamic_cast<nx_view_schema*>(window->view(view_slot::scheme));
    ASSERT_NE(view, nullptr);
    auto* tree = window->view(view_slot::schema)->findChild<nx_view_tree*>();
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->root_key(), "S");
    auto* host = dynamic_cast<nx_ctrl_ax_modus50*>(view->display(scheme));
    ASSERT_NE(host, nullptr);
    ASSERT_NE(view->display(table), nullptr);

    // A press on QS1 (counter 2) in the drawing.
    host->clicked(2);
    EXPECT_EQ(view->chosen(), qs1);
    EXPECT_EQ(tree->selected_key(), qs1);
    EXPECT_EQ(store.current('S'), qs1);

    // Q1 chosen in the tree: the scheme view takes it and the drawing brings it into view.
    tree->choose(q1);
    EXPECT_EQ(tree->selected_key(), q1);
    EXPECT_EQ(view->chosen(), q1);
    const sde_object* anchor = host->control().view_anchor();
    ASSERT_NE(anchor, nullptr);
    EXPECT_EQ(anchor->counter, 1);
    // A second press on it is the "chosen again" of the element brought into view: its menu.
    prompt.expect_menu(0);
    host->clicked(1);
    EXPECT_EQ(prompt.menus().size(), 1u);

    // The table's tab shown, then the scheme chosen in the tree: its tab comes back.
    view->show_tab(0);
    ASSERT_EQ(view->shown(), view->display(table));
    tree->choose(scheme);
    EXPECT_EQ(view->shown(), host);

    // A header clicked in the table tells the view as its selection target; the tree follows.
    const std::string row = table + ".0001.0000";
    ASSERT_NE(store.get(row), nullptr);
    view->choose(row);
    EXPECT_EQ(tree->selected_key(), row);
    EXPECT_EQ(store.current('S'), row);
}

} // namespace
