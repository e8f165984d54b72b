#include "shell/install_editors.h"
#include "shell/main_window.h"

#include "archive/archive_service.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "platform/station.h"
#include "config/t_ref_buff.h"
#include "interlock/display/nx_schema_ilk.h"
#include "interlock/ilk_state.h"
#include "interlock/whatif_view/whatif_area.h"
#include "schemes/control/nx_view_schema.h"
#include "schemes/editor_window/qt_scheme_editor.h"
#include "shell/toolbar_buttons.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_vl.h"
#include "ui/qt_prompt.h"
#include "ui/ui_resources.h"
#include "views/nx_view_con.h"
#include "views/nx_view_hand.h"
#include "views/nx_view_mes.h"
#include "views/nx_view_tree.h"
#include "trends/display/trend_windows.h"
#include "views/nx_ref_editor.h"
#include "views/qt_bind_dialog.h"

#include <QAction>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <cstdlib>

namespace nxkit {

namespace {

// The station's archive lives as long as the window, created after the journal so that it
// goes after it; its failures are ERR lines of the program log, and the workstation goes on.
class archive_holder : public QObject {
public:
    archive_holder(t_ref_buff& store, QObject* parent) : QObject(parent) {
        if (read_setting(setting::archive_on) == 0)
            return;
        service = std::make_unique<archive_service>(
            store, archive_service_settings::from_settings(exe_dir()),
            [](const std::string& text) { nx_log::main().err(text); });
        auto* timer = new QTimer(this);
        timer->setInterval(1000);
        connect(timer, &QTimer::timeout, this, [this] { service->tick(); });
        timer->start();
    }
    std::unique_ptr<archive_service> service;
};

} // namespace

// Each view is created here, put into its slot and hooked to its buttons; the viewers are
// registered with the store in this order: trees "D", "K", "S", scheme view, connections view,
// journal, manual input.
void install_views(nx_dlg_mod& window) {
    nx_view_tree* schemes_tree = install_config_editors(window);
    t_ref_buff& store = window.store();
    icon_set& icons = window.resources().icons;
    auto icon = [&icons](int number) { return icons.icon(number); };
    ui_resources& resources = window.resources();
    if (auto* prompt = dynamic_cast<qt_prompt*>(current_prompt())) {
        prompt->set_icon_source(icon);
        prompt->set_dialog_font(resources.dialog_font);
    }

    auto* schemes = new nx_view_schema(store, &window);
    window.set_view(view_slot::scheme, schemes);
    // The what-if mode shares the scheme slot: shown instead of the live view while it is on.
    auto* whatif =
        new whatif_area(store, window.resources().icons, schemes, schemes->parentWidget());
    schemes->parentWidget()->layout()->addWidget(whatif);
    using b = toolbar_button;
    for (b button : {b::print, b::zoom_in, b::zoom_out, b::zoom_x, b::zoom_y, b::zoom_full,
                     b::zoom_100, b::mod_std, b::scroll_hand})
        schemes->add_button(spec_of(button).command, window.button(button));
    schemes->tab_bar()->setFont(resources.tab_font);
    schemes->set_icons([&resources](int number) { return resources.icons.icon(number); });
    window.hooks().scheme_command = [schemes, whatif](int command) {
        whatif->scheme_command(command, [schemes](int c) { schemes->scheme_command(c); });
    };
    window.hooks().whatif = [whatif](bool on) {
        if (on)
            whatif->enter();
        else
            whatif->leave();
    };
    window.hooks().enter_whatif_with = [whatif](const auto& values) {
        whatif->enter_whatif_with(values);
    };
    // In the mode, a signal chosen in the structure tree switches its apparatus in the copy
    // (the tree itself stays on the live store; the copy is reached by signal key).
    if (auto* structure = dynamic_cast<nx_view_tree*>(store.structure_tree()))
        structure->add_selection_listener([whatif, &store](const std::string& key) {
            if (!whatif->active())
                return;
            if (auto* signal = dynamic_cast<t_struct_vl*>(store.get(key)))
                whatif->switch_over(signal->signal_key());
        });
    // An interlock table's menu in the scheme tree (edit mode only) offers the mode too.
    ilk_state::of(store).enter_whatif = [&window] {
        if (window.edit_mode() && window.hooks().whatif)
            window.hooks().whatif(true);
    };
    QObject::connect(whatif, &whatif_area::mode_changed, &window,
                     [&window](bool on) { window.whatif_button()->setChecked(on); });
    // The scheme tree and the scheme view follow each other: a component chosen on a scheme or
    // in a table is selected in the tree (and so in the editor); one selected in the tree is
    // brought into view. Each stops at a key it already holds, so the echo ends there.
    schemes_tree->add_selection_listener([schemes](const std::string& key) {
        if (key.rfind('S', 0) == 0)
            schemes->choose(key);
    });
    schemes->add_selection_listener([schemes_tree](const std::string& key) {
        if (key.rfind('S', 0) == 0)
            schemes_tree->choose(key);
    });

    auto* connections = new nx_view_con(store, window.button(toolbar_button::con), &window);
    connections->set_icon_source(icon);
    // The list opens at the button's own widget on the toolbar.
    for (QObject* o : window.button(toolbar_button::con)->associatedObjects())
        if (auto* b = qobject_cast<QToolButton*>(o))
            connections->set_anchor(b);
    window.hooks().connections_on = [connections] { connections->show_disconnected(); };

    auto* journal = new nx_view_mes(store, &window,
                                    {window.button(toolbar_button::journal_next),
                                     window.button(toolbar_button::journal_last),
                                     window.button(toolbar_button::journal_previous),
                                     window.button(toolbar_button::journal_first)});
    journal->set_icon_source(icon);
    journal->set_log_font(resources.log_font);
    window.set_view(view_slot::journal, journal->pane());
    window.hooks().journal_navigate = [journal](int direction) { journal->navigate(direction); };
    auto* archive = new archive_holder(store, &window);
    if (archive->service) {
        journal->set_archive(&archive->service->writer());
        journal->set_archive_reader(&archive->service->reader());
    }

    auto* hand = new nx_view_hand(store, window.button(toolbar_button::cancel_hand),
                                  window.button(toolbar_button::cvit_all), &window);
    window.hooks().cancel_all_manual = [hand] { hand->cancel_all_manual(); };
    window.hooks().acknowledge_all = [hand] { hand->acknowledge_all(); };
    // Telesignals created from now on open manual input through the view.
    register_structure_classes(store, hand);

    schemes->set_manual_input([hand](t_struct_vl& signal) { hand->open_manual_input(signal); });
    schemes->set_table_display_factory(
        [&window, &resources, hand](const std::string& key,
                                    QWidget* parent) -> std::unique_ptr<i_schema> {
            auto display =
                std::make_unique<nx_schema_ilk>(parent, window.store(), key, resources.icons);
            display->set_manual_input(
                [hand](const std::string& signal) { hand->show_manual_input(signal); });
            // A topology finding's counter-example is loaded into the what-if mode.
            display->set_counter_example_loader([&window](const std::vector<signal_value>& state) {
                std::vector<std::pair<std::string, double>> values;
                for (const signal_value& v : state)
                    values.emplace_back(v.key, v.value);
                window.enter_whatif_with(values);
            });
            return display;
        });

    // The scheme's bind command asks through it until the window goes.
    auto* bind = new qt_bind_dialog(&window);
    bind->set_icon_source(icon);
    bind->set_fonts({resources.log_font, resources.dialog_font});
    // "Редактировать схему" opens the editor's window; a save reopens the live display.
    new qt_scheme_editor(store, &window,
                         [schemes](const std::string& key) { schemes->reopen(key); });

    // "График" from the structure tree, the scheme element menu, the journal's line menu and
    // the manual-input form, reading the station's archive when it has one.
    auto* trends = new trend_windows(store, &window);
    auto open_trend = [trends](const std::string& signal_key) { trends->open({signal_key}); };
    for (nx_ref_editor* editor : window.findChildren<nx_ref_editor*>())
        editor->set_trend_opener(open_trend);
    schemes->set_trend_opener(
        [trends](const std::vector<std::string>& keys) { trends->open(keys); });
    journal->set_trend_opener(open_trend);
    hand->set_trend_opener(open_trend);
    if (archive->service)
        trends->set_archive(&archive->service->reader());
#ifdef ILK_DEMO_HOOKS
    // Screenshots and demonstrations only: history for the trends from a CSV file as the
    // trend window writes them. Not in the packaged program.
    if (const char* preload = std::getenv("ILKSTATION_TREND_PRELOAD"))
        trends->preload_csv(preload);
#endif

    store.add_viewer(schemes);
    store.add_viewer(connections);
    store.add_viewer(journal);
    store.add_viewer(hand);
    if (archive->service)
        store.add_viewer(archive->service.get());
}

} // namespace nxkit
