#include "schemes/control/nx_view_schema.h"

#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "config/ref_editing.h"
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "schemes/control/element_menu.h"
#include "schemes/control/nx_ctrl_ax_modus50.h"
#include "schemes/ilk/projection.h"
#include "schemes/t_element.h"
#include "schemes/t_schema.h"

#include <QAction>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

namespace nxkit {

namespace {

bool under_key(const std::string& key, const std::string& prefix) {
    return key.size() > prefix.size() && key.compare(0, prefix.size(), prefix) == 0 &&
           key[prefix.size()] == '.';
}

} // namespace

nx_view_schema::nx_view_schema(t_ref_buff& store, QWidget* parent)
    : QWidget(parent), store_(store), tabs_(new QTabBar(this)), area_(new QStackedWidget(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tabs_->setUsesScrollButtons(true);
    tabs_->setExpanding(false);
    tabs_->setDocumentMode(true);
    tabs_->hide();
    layout->addWidget(tabs_);
    layout->addWidget(area_, 1);
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (!filling_tabs_)
            show_tab(index);
    });
    tabs_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tabs_, &QTabBar::customContextMenuRequested, this,
            [this](const QPoint& at) { tab_menu(tabs_->tabAt(at)); });
    try {
        types_.load();
    } catch (const std::exception& e) {
        nx_log::main().err(e.what());
    }
}

nx_view_schema::~nx_view_schema() {
    store_.unsubscribe_subtree("S", this);
    store_.remove_viewer(this);
    displays_.clear();
}

void nx_view_schema::add_button(int command, QAction* button) {
    buttons_[command] = button;
    update_buttons();
}

void nx_view_schema::add_selection_listener(std::function<void(const std::string&)> listener) {
    listeners_.push_back(std::move(listener));
}

i_schema* nx_view_schema::display(const std::string& key) const {
    auto it = displays_.find(key);
    return it == displays_.end() ? nullptr : it->second.get();
}

i_schema* nx_view_schema::shown() const {
    int index = tabs_->currentIndex();
    if (index < 0 || index >= static_cast<int>(displays_.size()))
        return nullptr;
    return std::next(displays_.begin(), index)->second.get();
}

bool nx_view_schema::excluded(const std::string& key) {
    t_ref* r = store_.get(key);
    return r == nullptr || r->has_flag_in_chain(flag_locked) || failed_.count(key) != 0;
}

void nx_view_schema::report(const std::string& text) {
    nx_log::main().err(text);
    // Never from inside the update pass: the box comes after it.
    pending_errors_.push_back(text);
    if (pending_errors_.size() == 1)
        QTimer::singleShot(0, this, [this] {
            std::vector<std::string> errors;
            errors.swap(pending_errors_);
            for (const std::string& e : errors)
                show_message(this, e, mb_error);
        });
}

void nx_view_schema::create_display(const std::string& key) {
    t_ref* r = store_.get(key);
    if (r == nullptr || creating_.count(key) != 0)
        return;
    // While the host synchronises, the scheme's own key is reported changed before its
    // display is entered: that must not open the scheme a second time (its elements were
    // made twice).
    creating_.insert(key);
    struct done {
        std::set<std::string>& keys;
        const std::string& key;
        ~done() { keys.erase(key); }
    } creating{creating_, key};
    std::unique_ptr<i_schema> made;
    try {
        if (r->type() == tp_ilk_tab) {
            if (!make_table_)
                return;
            made = make_table_(key, area_);
            area_->addWidget(made->window_handle());
            made->show(this);
            displays_[key] = std::move(made);
            return;
        }
        if (r->type() != tp_schema_modus50)
            throw nx_exception("create_sch схема неизвестного типа " + r->full_path_text());
        auto host = std::make_unique<nx_ctrl_ax_modus50>(store_, types_, key, area_);
        area_->addWidget(host->window_handle());
        made = std::move(host);
        made->show(this);
    } catch (const nx_exception& e) {
        // Locked for this run only: a saved lock would keep the scheme off after its file
        // comes back.
        failed_.insert(key);
        made.reset();
        report(e.what());
        return;
    }
    displays_[key] = std::move(made);
}

void nx_view_schema::on_unload() {
    store_.unsubscribe_subtree("S", this);
    chosen_.clear();
    filling_tabs_ = true;
    while (tabs_->count() > 0)
        tabs_->removeTab(0);
    filling_tabs_ = false;
    displays_.clear();
}

void nx_view_schema::on_load() {
    on_unload();
    failed_.clear();
    store_.subscribe_subtree("S", this);
    // Keys first: showing a scheme inserts the pages and elements it lacks.
    std::vector<std::string> schemes;
    for (t_ref* r : store_.refs().under("S"))
        if (dynamic_cast<t_schema*>(r) != nullptr)
            schemes.push_back(r->key());
    {
        // Every scheme's synchronisation in one batch: one rebuild for the whole load.
        batch_scope batch(store_);
        for (const std::string& key : schemes)
            if (!excluded(key))
                create_display(key);
    }
    rebuild_tabs();
}

void nx_view_schema::on_changed(const std::string& key) {
    for (auto it = displays_.begin(); it != displays_.end(); ++it) {
        if (key == it->first) {
            if (excluded(key))
                displays_.erase(it);
            // A new title or icon shows on the tab at once, not at the next load.
            tabs_dirty_ = true;
            return;
        }
        if (under_key(key, it->first)) {
            it->second->notify_changed(key);
            return;
        }
    }
    t_ref* r = store_.get(key);
    if (r != nullptr && dynamic_cast<t_schema*>(r) != nullptr && !excluded(key)) {
        create_display(key);
        tabs_dirty_ = true;
    }
}

void nx_view_schema::on_changes_done() {
    if (!tabs_dirty_)
        return;
    tabs_dirty_ = false;
    rebuild_tabs();
}

void nx_view_schema::rebuild_tabs() {
    int selected = tabs_->currentIndex();
    filling_tabs_ = true;
    while (tabs_->count() > 0)
        tabs_->removeTab(0);
    for (auto& [key, display] : displays_) {
        t_ref* r = store_.get(key);
        std::string text = r == nullptr ? key : r->title().empty() ? r->display_name() : r->title();
        int index = tabs_->addTab(QString::fromStdString(text));
        if (r != nullptr && icons_) {
            int icon = 0, overlay = 0, state = 0;
            r->tree_images(icon, overlay, state);
            tabs_->setTabIcon(index, icons_(icon));
        }
    }
    tabs_->setVisible(tabs_->count() > 1);
    if (selected >= tabs_->count())
        selected = tabs_->count() - 1;
    if (selected < 0 && tabs_->count() > 0)
        selected = 0;
    tabs_->setCurrentIndex(selected);
    filling_tabs_ = false;
    show_tab(selected);
}

void nx_view_schema::show_tab(int index) {
    if (displays_.empty())
        return;
    if (index < 0)
        index = tabs_->currentIndex() >= 0 ? tabs_->currentIndex() : 0;
    if (index >= static_cast<int>(displays_.size()))
        return;
    try {
        project_tables(store_);
    } catch (const std::exception& e) {
        report(e.what());
    }
    if (tabs_->currentIndex() != index) {
        filling_tabs_ = true;
        tabs_->setCurrentIndex(index);
        filling_tabs_ = false;
    }
    i_schema* display = std::next(displays_.begin(), index)->second.get();
    area_->setCurrentWidget(display->window_handle());
    display->window_handle()->show();
    display->zoom_command(6);
    update_buttons();
}

void nx_view_schema::update_buttons() {
    i_schema* display = shown();
    if (display == nullptr)
        return;
    for (auto& [command, button] : buttons_)
        button->setEnabled(display->command_enabled(command));
}

void nx_view_schema::scheme_command(int command) {
    if (i_schema* display = shown()) {
        display->zoom_command(command);
        update_buttons();
    }
}

void nx_view_schema::choose(const std::string& key) {
    if (store_.get(key) == nullptr) {
        chosen_.clear();
        return;
    }
    if (key == chosen_)
        return;
    chosen_ = key;
    for (auto& listener : listeners_)
        listener(key);
    int index = 0;
    for (auto& [scheme_key, display] : displays_) {
        // A scheme chosen itself (in the tree) shows its tab.
        if (key == scheme_key || under_key(key, scheme_key)) {
            display->show_component(key);
            if (display.get() != shown())
                show_tab(index);
        }
        ++index;
    }
}

void nx_view_schema::element_menu(int item) {
    auto* element = dynamic_cast<t_element*>(store_.get(chosen_));
    if (element == nullptr)
        return;
    element_menu_walk walk(store_, *element);
    if (item == 0) {
        std::vector<menu_item> items = walk.build(this);
        std::vector<std::string> trend_keys;
        if (trend_opener_)
            trend_keys = element_trend_signals(store_, *element);
        if (!trend_keys.empty()) {
            if (!items.empty()) {
                menu_item separator;
                separator.separator = true;
                items.push_back(separator);
            }
            menu_item trend;
            trend.command = element_trend_command;
            trend.text = "График";
            items.push_back(trend);
        }
        if (items.empty() || current_prompt() == nullptr)
            return;
        int chosen = current_prompt()->popup_menu(this, items);
        if (chosen == element_trend_command) {
            trend_opener_(trend_keys);
            return;
        }
        if (chosen > 0)
            element_menu(chosen);
        return;
    }
    menu_choice choice = walk.run(item, manual_input_);
    if (choice.interlock.empty())
        return;
    for (auto& [scheme_key, display] : displays_) {
        if (!under_key(choice.interlock, scheme_key))
            continue;
        display->highlight_interlock(choice.interlock);
        if (!choice.mark.empty())
            display->mark(choice.mark);
    }
}

std::vector<menu_item> nx_view_schema::tab_menu_items(int index) {
    if (!store_.edit_mode() || index < 0 || index >= static_cast<int>(displays_.size()))
        return {};
    auto it = std::next(displays_.begin(), index);
    t_ref* r = store_.get(it->first);
    std::string caption;
    if (r == nullptr || r->type() != tp_schema_modus50)
        return {};
    const int state = r->command(true, 0, caption);
    if (state == 0)
        return {};
    menu_item edit;
    edit.command = 1;
    edit.text = caption;
    edit.enabled = state == 1;
    return {edit};
}

void nx_view_schema::tab_menu(int index) {
    const std::vector<menu_item> items = tab_menu_items(index);
    if (items.empty() || current_prompt() == nullptr)
        return;
    if (current_prompt()->popup_menu(this, items) != 1)
        return;
    std::string arg;
    if (t_ref* r = store_.get(std::next(displays_.begin(), index)->first))
        r->command(false, 0, arg);
}

void nx_view_schema::reopen(const std::string& key) {
    auto it = displays_.find(key);
    if (it == displays_.end()) {
        // Not shown yet (a new scheme, or one whose file could not be read before).
        failed_.erase(key);
        create_display(key);
        rebuild_tabs();
        return;
    }
    try {
        batch_scope batch(store_);
        it->second->show(this);
    } catch (const nx_exception& e) {
        report(e.what());
        return;
    }
    // The states and style marks go back onto the objects as read from the file.
    for (t_ref* r : store_.refs().under(key))
        if (dynamic_cast<t_element*>(r) != nullptr)
            it->second->notify_changed(r->key());
}

} // namespace nxkit
