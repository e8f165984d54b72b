// The shared fonts reach the views that Part of the window settings names: the tab font the
// scheme tabs, the log font the journal, the editors and the bind dialog's explanation, the
// dialog font the manual-input form.
#include "tests/shell/shell_fixture.h"

#include "schemes/control/nx_view_schema.h"
#include "views/nx_ref_editor.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTabBar>
#include <QTableView>
#include <QTableWidget>

namespace {

using namespace nxkit;
using shelltest::shell_test;

class ViewFonts : public shell_test {};

TEST_F(ViewFonts, EveryViewDrawsInTheFontItIsGiven) {
    write_settings("[VIEW]\r\nFONT_TAB=21\r\n");
    open_window();
    auto* schemes = window->findChild<nx_view_schema*>();
    ASSERT_NE(schemes, nullptr);
    EXPECT_EQ(schemes->tab_bar()->font().pixelSize(), 21);
    EXPECT_EQ(schemes->tab_bar()->font().weight(), QFont::Bold);
    EXPECT_EQ(schemes->tab_bar()->font(), resources->tab_font);

    auto* journal = window->view(view_slot::journal)->findChild<QTableView*>();
    ASSERT_NE(journal, nullptr);
    EXPECT_EQ(journal->font(), resources->log_font);
    EXPECT_EQ(journal->font().pixelSize(), 12);

    QList<nx_ref_editor*> editors = window->findChildren<nx_ref_editor*>();
    ASSERT_EQ(editors.size(), 3);
    for (nx_ref_editor* editor : editors) {
        EXPECT_EQ(editor->grid()->font(), resources->log_font);
        EXPECT_EQ(editor->text_editor()->font(), resources->log_font);
        EXPECT_EQ(editor->combo_editor()->font(), resources->log_font);
    }
}

} // namespace
