#pragma once

#include "base/prompt.h"
#include "config/interfaces.h"
#include "schemes/control/i_schema.h"
#include "schemes/element_types.h"

#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QAction;
class QStackedWidget;
class QTabBar;

namespace nxkit {

class t_ref_buff;
class t_struct_vl;

// The scheme view: one tab per scheme display, the shown display below it, the element menu.
class nx_view_schema : public QWidget, public i_observer, public i_viewer {
    Q_OBJECT
public:
    nx_view_schema(t_ref_buff& store, QWidget* parent = nullptr);
    ~nx_view_schema() override;

    void add_button(int command, QAction* button);
    // Receives the key of every component chosen on a scheme (the trees follow it).
    void add_selection_listener(std::function<void(const std::string&)> listener);
    // Opens manual input for a signal of the element menu.
    void set_manual_input(std::function<void(t_struct_vl&)> open) {
        manual_input_ = std::move(open);
    }
    // Opens the trend window of signal keys: the element menu then ends with "График" for an
    // element whose rules use telemeasurements or telesignals.
    void set_trend_opener(std::function<void(const std::vector<std::string>&)> open) {
        trend_opener_ = std::move(open);
    }
    // Tab icons by image number (the window's icon set); none without it.
    void set_icons(std::function<QIcon(int)> icons) { icons_ = std::move(icons); }
    // Makes the display of an interlock table (key, parent); without it tables get no tab.
    using table_display_factory =
        std::function<std::unique_ptr<i_schema>(const std::string& key, QWidget* parent)>;
    void set_table_display_factory(table_display_factory make) { make_table_ = std::move(make); }

    // i_viewer
    void choose(const std::string& key) override;
    void on_unload() override;
    void on_load() override;
    void element_menu(int item) override;
    // i_observer
    void on_changed(const std::string& key) override;
    void on_changes_done() override;

    // Opens the scheme's file again after the scheme editor saved it: objects new to the file
    // become elements, removed ones lose their fixed mark.
    void reopen(const std::string& key);
    // The scheme tab's menu in edit mode: "Редактировать схему" (command 1) for a scheme
    // drawn in a file; empty otherwise.
    std::vector<menu_item> tab_menu_items(int index);
    void tab_menu(int index);

    // A toolbar command on the shown display.
    void scheme_command(int command);
    void show_tab(int index);

    // For tests and the screenshots.
    QTabBar* tab_bar() const { return tabs_; }
    i_schema* display(const std::string& key) const;
    i_schema* shown() const;
    const std::string& chosen() const { return chosen_; }
    const element_type_table& types() const { return types_; }

private:
    void create_display(const std::string& key);
    void rebuild_tabs();
    void update_buttons();
    void report(const std::string& text);
    bool excluded(const std::string& key);

    t_ref_buff& store_;
    QTabBar* tabs_ = nullptr;
    QStackedWidget* area_ = nullptr;
    std::map<std::string, std::unique_ptr<i_schema>> displays_;
    bool tabs_dirty_ = false;
    bool filling_tabs_ = false;
    std::string chosen_;
    std::map<int, QAction*> buttons_;
    std::vector<std::function<void(const std::string&)>> listeners_;
    std::function<void(t_struct_vl&)> manual_input_;
    std::function<void(const std::vector<std::string>&)> trend_opener_;
    std::function<QIcon(int)> icons_;
    table_display_factory make_table_;
    element_type_table types_;
    // Schemes whose file could not be shown: kept off until the next load, never saved.
    std::set<std::string> failed_;
    // Schemes whose display is being made.
    std::set<std::string> creating_;
    std::vector<std::string> pending_errors_;
};

} // namespace nxkit
