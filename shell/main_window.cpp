#include "shell/main_window.h"

#include "access/config_changes.h"
#include "base/access.h"
#include "base/cp1251.h"
#include "base/files.h"
#include "base/nx_exception.h"
#include "base/nx_inixml.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "base/settings.h"
#include "base/settings_keys.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_table_edits.h"
#include "platform/close_signals.h"
#include "platform/single_instance.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "shell/instance_guard.h"
#include "shell/window_settings.h"
#include "structure/structure_classes.h"
#include "telemech/telemech_classes.h"
#include "ui/nx_log_view.h"
#include "ui/qt_desktop.h"
#include "ui/ui_resources.h"

#include <QAction>
#include <QKeySequence>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace nxkit {

namespace {

// A slot holds at most one view, filling it.
QWidget* make_slot(QWidget* parent) {
    auto* slot = new QWidget(parent);
    auto* layout = new QVBoxLayout(slot);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    slot->hide();
    return slot;
}

QWidget* slot_view(QWidget* slot) {
    QLayout* layout = slot->layout();
    return layout->count() > 0 ? layout->itemAt(0)->widget() : nullptr;
}

const char* panel_key(view_slot slot) {
    switch (slot) {
    case view_slot::devs:
        return "editor_devs";
    case view_slot::strs:
        return "editor_strs";
    default:
        return "editor_schema";
    }
}

// Nothing in a null client: the parse alone tells whether a file can be loaded.
class null_client : public nx_xml_client {};

} // namespace

nx_dlg_mod::nx_dlg_mod(t_ref_buff& store, ui_resources& resources, int close_signal_fd,
                       i_hot_key* hot_key)
    : store_(store), resources_(resources) {
    ensure_single_instance(read_previous_window());
    if (hot_key == nullptr) {
        own_hot_key_ = std::make_unique<qt_hot_key>(this);
        hot_key = own_hot_key_.get();
    }
    hot_key_ = hot_key;

    if (single_instance* guard = instance_guard(); guard != nullptr && guard->listen_fd() >= 0) {
        raise_notifier_ = new QSocketNotifier(guard->listen_fd(), QSocketNotifier::Read, this);
        connect(raise_notifier_, &QSocketNotifier::activated, this, [this] {
            if (single_instance* g = instance_guard(); g != nullptr && g->take_raise_request())
                bring_forward();
        });
    }
    if (close_signal_fd >= 0) {
        close_notifier_ = new QSocketNotifier(close_signal_fd, QSocketNotifier::Read, this);
        connect(close_notifier_, &QSocketNotifier::activated, this, [this, close_signal_fd] {
            if (take_close_request(close_signal_fd))
                close_by_signal();
        });
    }

    // Read (and written back) now; the hint reads it again each time it shows.
    read_setting(setting::hint_balloon);
    build_toolbar();
    build_work_area();
    settings_set_int("CTRL", "hwnd", static_cast<int>(winId()));

    // The component classes of every subsystem, before any configuration is read.
    register_structure_classes(store_);
    register_telemech_classes(store_);
    register_all_scheme_classes(store_);

    state_listener_ = store_.state().subscribe(
        [this](bool changed) { button(toolbar_button::save)->setEnabled(changed); });
    button(toolbar_button::save)->setEnabled(store_.state().changed());
    title_ = configured_title();
    setMinimumSize(18 * resources_.buttons.width, 370);
}

nx_dlg_mod::~nx_dlg_mod() {
    // Device workers post their notifications to this window: they end before it does, also
    // when it goes without being closed.
    store_.start_devices(false);
    store_.init(nullptr, nullptr);
    store_.state().unsubscribe(state_listener_);
    hot_key_->unregister_key();
    release_single_instance();
}

void nx_dlg_mod::build_toolbar() {
    const button_layout& layout = resources_.buttons;
    // A strip that wraps into a second row when the window is narrower than its buttons,
    // rather than hiding some of them behind an overflow mark.
    toolbar_ = new QWidget(this);
    toolbar_->setObjectName("toolbar");
    toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
    auto* flow = new flow_layout(toolbar_, 1);
    flow->setContentsMargins(4, 3, 4, 3);
    hint_ = std::make_unique<hint_popup>();

    for (const button_spec& spec : toolbar_table()) {
        QIcon icon =
            resources_.icons.button_icon(spec.on, spec.off, spec.disabled, layout.icon_size);
        auto* action = new QAction(icon, QString::fromUtf8(spec.caption), this);
        // A caption is shown as written: "&" is a character here, not a mnemonic.
        action->setIconText(QString::fromUtf8(spec.caption).replace("&", "&&"));
        action->setToolTip(QString::fromUtf8(spec.tooltip));
        action->setCheckable(spec.two_state);
        action->setObjectName(spec.identifier[0] != 0 ? spec.identifier : spec.caption);
        auto* b = new toolbar_tool_button(layout, toolbar_);
        b->setDefaultAction(action);
        b->installEventFilter(this);
        flow->addWidget(b);
        // A hidden action hides its button, as on a toolbar.
        connect(action, &QAction::changed, b, [b, action] { b->setVisible(action->isVisible()); });
        toolbar_button id = spec.button;
        connect(action, &QAction::triggered, this,
                [this, id](bool checked) { guarded([&] { on_button(id, checked); }); });
        actions_[static_cast<std::size_t>(id)] = action;
    }
    build_window_menu(toolbar_);
    // The what-if mode's button, after the window menu so the others keep their places: not
    // one of the configurable table's, shown in edit mode only.
    whatif_action_ = new QAction(resources_.icons.button_icon(1450, 1450, 0, layout.icon_size),
                                 QString::fromUtf8("Проверка блокировок"), this);
    whatif_action_->setObjectName("whatif");
    whatif_action_->setCheckable(true);
    whatif_action_->setShortcut(QKeySequence(QString::fromUtf8("Ctrl+Shift+F8")));
    whatif_action_->setToolTip(
        QString::fromUtf8("Проверка блокировок: значения задаются вручную, не настоящие"));
    {
        auto* b = new toolbar_tool_button(layout, toolbar_);
        b->setDefaultAction(whatif_action_);
        b->installEventFilter(this);
        flow->addWidget(b);
        connect(whatif_action_, &QAction::changed, b,
                [this, b] { b->setVisible(whatif_action_->isVisible()); });
        connect(whatif_action_, &QAction::triggered, this, [this](bool checked) {
            guarded([&] {
                if (hooks_.whatif)
                    hooks_.whatif(checked);
            });
        });
        whatif_action_->setVisible(false);
    }
    // Until a view takes them, the buttons that act on a view have nothing to act on.
    for (toolbar_button b : {toolbar_button::cancel_hand, toolbar_button::cvit_all})
        button(b)->setEnabled(false);
}

void nx_dlg_mod::build_window_menu(QWidget* bar) {
    auto* menu = new QMenu(this);
    menu->setObjectName("window_menu");
    QAction* link = menu->addAction(QString::fromUtf8("Создать ярлык на рабочем столе"));
    QAction* about = menu->addAction(QString::fromUtf8("О программе..."));
    link->setData(32);
    about->setData(16);
    connect(link, &QAction::triggered, this,
            [this] { guarded([&] { create_desktop_shortcut(title_, this); }); });
    connect(about, &QAction::triggered, this, [this] { guarded([&] { show_about(*this); }); });
    auto* menu_button = new QToolButton(bar);
    menu_button->setObjectName("window_menu_button");
    menu_button->setText(QString::fromUtf8("☰"));
    menu_button->setToolTip(QString::fromUtf8("Меню окна"));
    menu_button->setMenu(menu);
    menu_button->setPopupMode(QToolButton::InstantPopup);
    menu_button->setAutoRaise(true);
    menu_button->setFixedSize(resources_.buttons.width, resources_.buttons.height);
    bar->layout()->addWidget(menu_button);
}

void nx_dlg_mod::build_work_area() {
    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (view_slot s : {view_slot::devs, view_slot::strs, view_slot::schema}) {
        QWidget* slot = make_slot(central);
        slot->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        row->addWidget(slot);
        slots_[static_cast<std::size_t>(s)] = slot;
    }
    right_ = new QSplitter(Qt::Vertical, central);
    right_->setChildrenCollapsible(false);
    row->addWidget(right_, 1);
    for (view_slot s : {view_slot::scheme, view_slot::journal}) {
        QWidget* slot = make_slot(right_);
        right_->addWidget(slot);
        slots_[static_cast<std::size_t>(s)] = slot;
    }
    // The scheme area is there even while no view fills it.
    slots_[static_cast<std::size_t>(view_slot::scheme)]->show();
    right_->setStretchFactor(0, 3);
    right_->setStretchFactor(1, 1);

    log_pane_ = new QPlainTextEdit(right_);
    log_pane_->setObjectName("log_pane");
    log_pane_->setReadOnly(true);
    log_pane_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_pane_->setFrameShape(QFrame::StyledPanel);
    log_pane_->setFrameShadow(QFrame::Sunken);
    log_pane_->setFont(resources_.log_font);
    log_pane_->hide();
    right_->addWidget(log_pane_);
    right_->setStretchFactor(2, 1);
    log_view_ = new nx_log_view(log_pane_);

    // The toolbar along the top or the bottom edge of the work area (VIEW/BTN_TOP).
    auto* frame = new QWidget(this);
    auto* column = new QVBoxLayout(frame);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(central, 1);
    column->insertWidget(resources_.buttons.on_top ? 0 : 1, toolbar_);
    setCentralWidget(frame);
}

void nx_dlg_mod::set_view(view_slot slot, QWidget* view) {
    QWidget* holder = slots_[static_cast<std::size_t>(slot)];
    if (QWidget* old = slot_view(holder))
        delete old;
    if (view != nullptr)
        holder->layout()->addWidget(view);
}

QWidget* nx_dlg_mod::view(view_slot slot) const {
    return slot_view(slots_[static_cast<std::size_t>(slot)]);
}

QAction* nx_dlg_mod::button(toolbar_button b) const {
    return actions_[static_cast<std::size_t>(b)];
}

bool nx_dlg_mod::panel_shown(view_slot slot) const {
    return !slots_[static_cast<std::size_t>(slot)]->isHidden();
}

bool nx_dlg_mod::log_shown() const {
    return !log_pane_->isHidden();
}

void nx_dlg_mod::guarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        nx_log::main().err(e.what());
        show_message(this, e.what(), mb_error);
    } catch (...) {
        nx_log::main().err("неизвестная ошибка");
        show_message(this, "неизвестная ошибка", mb_error);
    }
}

void nx_dlg_mod::in_pass(const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& e) {
        // Logged at once; the box waits until the pass is over, and one at a time, so a fault
        // that repeats every pass does not pile boxes up.
        nx_log::main().err(e.what());
        if (pass_error_shown_)
            return;
        pass_error_shown_ = true;
        QTimer::singleShot(0, this, [this, text = std::string(e.what())] {
            show_message(this, text, mb_error);
            pass_error_shown_ = false;
        });
    }
}

void nx_dlg_mod::create_contents() {
    main_log_ = nx_log::main().file_name();
    install_views(*this);

    // Captions, tooltips and pictures are set; the tooltip follows CTRL/hint_yes.
    hints_on_ = read_setting(setting::hint_yes) != 0;
    button(toolbar_button::hint)->setChecked(hints_on_);

    // Grids, editor panels, log and journal panes as the settings left them.
    bool grids = read_setting(setting::grid) != 0;
    button(toolbar_button::editor_grid)->setChecked(grids);
    if (hooks_.show_grids)
        hooks_.show_grids(grids);
    button(toolbar_button::devs)->setChecked(read_setting(setting::editor_devs) != 0);
    button(toolbar_button::strs)->setChecked(read_setting(setting::editor_strs) != 0);
    button(toolbar_button::schema)->setChecked(read_setting(setting::editor_schema) != 0);
    bool log_on = read_setting(setting::show_log) != 0;
    button(toolbar_button::log)->setChecked(log_on);
    log_view_->follow(main_log_);
    if (log_on)
        show_log(true);
    bool mes_on = read_setting(setting::show_mes) != 0;
    button(toolbar_button::mes)->setChecked(mes_on);
    slots_[static_cast<std::size_t>(view_slot::journal)]->setVisible(mes_on);

    store_.init(this, this);
    fast_timer_ = new QTimer(this);
    connect(fast_timer_, &QTimer::timeout, this,
            [this] { in_pass([this] { store_.update_pass(); }); });
    fast_timer_->start(10);
    slow_timer_ = new QTimer(this);
    connect(slow_timer_, &QTimer::timeout, this, [this] {
        in_pass([this] { store_.countdown_tick(); });
        // A settings file that cannot be written (full disk) is said once on screen; the log
        // has it already.
        if (std::string failure = settings_take_write_failure(); !failure.empty())
            show_message(this, failure, mb_error);
    });
    slow_timer_->start(1000);

    // Edit mode, initial path: the hot key when VIEW/EDIT_KEY asks for it.
    hot_key_active_ =
        read_setting(setting::edit_key) != 0 && hot_key_->register_key(edit_key_sequence(), [this] {
            guarded([this] { toggle_edit_by_hot_key(); });
        });
    // A station with an engineer's password never starts in edit mode.
    bool edit = read_setting(setting::edit) != 0 && !access_requires_password();
    button(toolbar_button::edit)->setChecked(edit);
    // Connections, initial path: in view mode they are always on.
    bool con = read_setting(setting::con) != 0;
    button(toolbar_button::con)->setChecked(con || !edit);
    edit_mode_ = edit;
    apply_mode(edit);
    if (edit)
        audit_edit_mode(true);
    if (!edit || con)
        store_.start_devices(true);

    store_.load();
    contents_created_ = true;
}

void nx_dlg_mod::show_in_mode(bool full_screen) {
    if (full_screen)
        showFullScreen();
    else
        showNormal();
    apply_window_settings(*this, full_screen);
}

void nx_dlg_mod::on_button(toolbar_button b, bool checked) {
    const button_spec& spec = spec_of(b);
    switch (b) {
    case toolbar_button::reload:
        reload();
        break;
    case toolbar_button::save:
        save();
        break;
    case toolbar_button::devs:
    case toolbar_button::strs:
    case toolbar_button::schema: {
        view_slot slot = b == toolbar_button::devs   ? view_slot::devs
                         : b == toolbar_button::strs ? view_slot::strs
                                                     : view_slot::schema;
        settings_set_int("CTRL", panel_key(slot), checked ? 1 : 0);
        if (edit_mode_)
            show_panel(slot, checked);
        break;
    }
    case toolbar_button::editor_grid:
        settings_set_int("CTRL", "GRID", checked ? 1 : 0);
        if (hooks_.show_grids)
            hooks_.show_grids(checked);
        break;
    case toolbar_button::hint:
        settings_set_int("CTRL", "hint_yes", checked ? 1 : 0);
        hints_on_ = checked;
        if (!checked)
            hint_->hide_hint();
        break;
    case toolbar_button::con:
        switch_connections(checked);
        break;
    case toolbar_button::edit:
        on_edit_button(checked);
        break;
    case toolbar_button::mes:
        settings_set_int("LOG", "show_mes", checked ? 1 : 0);
        slots_[static_cast<std::size_t>(view_slot::journal)]->setVisible(checked);
        break;
    case toolbar_button::log:
        on_log_button(checked);
        break;
    case toolbar_button::cancel_hand:
        if (show_message(this, "Отменить ручной ввод для всех сигналов ?\r\n", mb_question) ==
                answer_yes &&
            access_allowed(this, protected_action::cancel_all_manual) && hooks_.cancel_all_manual)
            hooks_.cancel_all_manual();
        break;
    case toolbar_button::cvit_all:
        if (show_message(this, "Квитировать все сигналы ?\r\n", mb_question) == answer_yes &&
            hooks_.acknowledge_all)
            hooks_.acknowledge_all();
        break;
    case toolbar_button::journal_next:
    case toolbar_button::journal_last:
    case toolbar_button::journal_previous:
    case toolbar_button::journal_first:
        if (hooks_.journal_navigate)
            hooks_.journal_navigate(spec.command);
        break;
    default:
        if (spec.has_command && hooks_.scheme_command)
            hooks_.scheme_command(spec.command);
        break;
    }
}

void nx_dlg_mod::on_edit_button(bool checked) {
    if (hot_key_active_ && checked) {
        // Entering edit mode takes the keys; the button alone only leaves it.
        button(toolbar_button::edit)->setChecked(false);
        settings_set_int("CTRL", "edit", 0);
        show_message(this, edit_key_hint(edit_key_sequence()), mb_information);
        return;
    }
    if (checked && !access_allowed(this, protected_action::edit_mode)) {
        button(toolbar_button::edit)->setChecked(false);
        return;
    }
    nx_log::main().mes(std::string("редактор конфигурации ") + (checked ? "включен" : "отключен"));
    settings_set_int("CTRL", "edit", checked ? 1 : 0);
    apply_mode(checked);
    audit_edit_mode(checked);
}

void nx_dlg_mod::toggle_edit_by_hot_key() {
    QAction* edit = button(toolbar_button::edit);
    bool on = !edit->isChecked();
    if (on && !access_allowed(this, protected_action::edit_mode))
        return;
    edit->setChecked(on);
    nx_log::main().mes(std::string("редактор конфигурации ") + (on ? "включен" : "отключен"));
    settings_set_int("CTRL", "edit", on ? 1 : 0);
    apply_mode(on);
    audit_edit_mode(on);
}

void nx_dlg_mod::apply_mode(bool edit) {
    edit_mode_ = edit;
    apply_button_visibility();
    // The what-if mode belongs to edit mode: leaving that leaves it too.
    if (!edit && whatif_action_->isChecked() && hooks_.whatif)
        hooks_.whatif(false);
    whatif_action_->setVisible(edit);
    if (edit) {
        show_panel(view_slot::devs, button(toolbar_button::devs)->isChecked());
        show_panel(view_slot::strs, button(toolbar_button::strs)->isChecked());
        show_panel(view_slot::schema, button(toolbar_button::schema)->isChecked());
    } else {
        for (view_slot s : {view_slot::devs, view_slot::strs, view_slot::schema})
            slots_[static_cast<std::size_t>(s)]->hide();
        if (contents_created_ && !button(toolbar_button::con)->isChecked()) {
            button(toolbar_button::con)->setChecked(true);
            // Run as the switch: the devices start and the setting says so.
            edit_mode_ = true;
            switch_connections(true);
            edit_mode_ = false;
        }
    }
    store_.set_edit_mode(edit);
    relayout();
}

void nx_dlg_mod::enter_whatif_with(const std::vector<std::pair<std::string, double>>& values) {
    guarded([&] {
        if (hooks_.enter_whatif_with)
            hooks_.enter_whatif_with(values);
    });
}

void nx_dlg_mod::apply_button_visibility() {
    for (const button_spec& spec : toolbar_table()) {
        if (spec.identifier[0] == 0)
            continue;
        // Both flags are read, so a first start leaves both sections behind.
        bool in_view = read_setting(setting::btns_view, spec.identifier) != 0;
        bool in_edit = read_setting(setting::btns_edit, spec.identifier) != 0;
        button(spec.button)->setVisible(edit_mode_ ? in_edit : in_view);
    }
}

void nx_dlg_mod::switch_connections(bool on) {
    QAction* con = button(toolbar_button::con);
    if (edit_mode_) {
        store_.start_devices(on);
        if (hooks_.connections_switched)
            hooks_.connections_switched();
        settings_set_int("CTRL", "con", on ? 1 : 0);
    } else {
        // In view mode the connections cannot be turned off.
        con->setChecked(true);
        if (!store_.devices_running())
            store_.start_devices(true);
    }
    if (con->isChecked() && hooks_.connections_on)
        hooks_.connections_on();
}

void nx_dlg_mod::show_panel(view_slot slot, bool on) {
    QWidget* holder = slots_[static_cast<std::size_t>(slot)];
    // An empty slot takes no room.
    holder->setVisible(on && slot_view(holder) != nullptr);
    relayout();
}

void nx_dlg_mod::show_log(bool on) {
    if (on) {
        log_pane_->show();
        log_view_->start();
    } else {
        log_view_->stop();
        log_pane_->hide();
    }
}

void nx_dlg_mod::on_log_button(bool checked) {
    settings_set_int("LOG", "show_log", checked ? 1 : 0);
    if (checked) {
        show_log(true);
        return;
    }
    open_log_menu();
}

void nx_dlg_mod::open_log_menu() {
    std::vector<menu_item> items;
    auto add = [&items](int command, const std::string& text, bool checked) {
        menu_item item;
        item.command = command;
        item.text = text;
        item.checked = checked;
        items.push_back(item);
    };
    int mode = log_view_->current_mode();
    add(1, "Закрыть", false);
    add(2, "Не обновлять (двойной клик)", mode == nx_log_view::frozen);
    add(3, "Интенсивное обновление", mode == nx_log_view::intensive);
    menu_item separator;
    separator.separator = true;
    items.push_back(separator);
    add(4, "Основной", log_view_->file_name() == main_log_);
    std::vector<std::string> files;
    for (t_ref* ref : store_.refs().under("D")) {
        if (dynamic_cast<t_device*>(ref) == nullptr)
            continue;
        std::string file = ref->log_file();
        add(5 + static_cast<int>(files.size()), ref->display_name(),
            log_view_->file_name() == file);
        files.push_back(file);
    }
    int chosen = current_prompt() != nullptr ? current_prompt()->popup_menu(this, items) : 0;
    if (chosen == 1) {
        show_log(false);
        button(toolbar_button::log)->setChecked(false);
        return;
    }
    // Anything else keeps the pane and the button pressed.
    button(toolbar_button::log)->setChecked(true);
    settings_set_int("LOG", "show_log", 1);
    if (chosen == 2) {
        log_view_->set_mode(mode == nx_log_view::frozen ? nx_log_view::normal
                                                        : nx_log_view::frozen);
    } else if (chosen == 3) {
        log_view_->set_mode(mode == nx_log_view::intensive ? nx_log_view::normal
                                                           : nx_log_view::intensive);
    } else if (chosen == 4) {
        log_view_->follow(main_log_);
    } else if (chosen >= 5 && chosen - 5 < static_cast<int>(files.size())) {
        log_view_->follow(files[static_cast<std::size_t>(chosen - 5)]);
    }
}

void nx_dlg_mod::save() {
    if (!access_allowed(this, protected_action::save))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct restore_cursor {
        ~restore_cursor() { QApplication::restoreOverrideCursor(); }
    } restore;
    flush_table_edits(store_);
    std::string before = configuration_before_save(store_.refs_path());
    store_.save();
    audit_configuration_save(before, store_.refs_path());
    store_.backup();
    store_.state().set_changed(false);
}

void nx_dlg_mod::load_checked(const std::string& path) {
    // Read and parse it before anything is unloaded: a file that cannot be loaded leaves the
    // configuration in memory as it is.
    std::string file = path.empty() ? store_.refs_path() : path;
    std::string bytes;
    if (!read_file(file, bytes))
        throw nx_exception("Не удалось прочитать файл конфигурации " + file);
    nx_inixml document(from_cp1251(bytes));
    null_client client;
    if (!document.parse("", client))
        throw nx_exception("Ошибка в файле конфигурации " + file + "\r\n" + document.error());
    store_.load(path);
    audit_action("загрузка конфигурации", file);
}

void nx_dlg_mod::reload() {
    if (!access_allowed(this, protected_action::reload))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::vector<std::string> backups = store_.backups();
    QApplication::restoreOverrideCursor();
    auto confirmed = [this] {
        return !store_.state().changed() ||
               show_message(this, "Отменить все изменения ?", mb_warning_yes_no) == answer_yes;
    };
    if (backups.empty()) {
        if (!confirmed())
            return;
        load_checked({});
        store_.state().set_changed(false);
        return;
    }
    std::vector<menu_item> items;
    for (std::size_t i = 0; i < backups.size(); ++i) {
        QDateTime when = QFileInfo(QString::fromStdString(backups[i])).lastModified();
        menu_item item;
        item.command = static_cast<int>(i) + 1;
        item.text = when.toString("yyyy.MM.dd HH:mm").toStdString();
        if (i == 0)
            item.text += " - последняя";
        items.push_back(item);
        if (i == 0) {
            menu_item separator;
            separator.separator = true;
            items.push_back(separator);
        }
    }
    int chosen = current_prompt() != nullptr ? current_prompt()->popup_menu(this, items) : 0;
    if (chosen < 1 || chosen > static_cast<int>(backups.size()))
        return;
    if (!confirmed())
        return;
    const std::string& path = backups[static_cast<std::size_t>(chosen - 1)];
    load_checked(path);
    // An older backup differs from refs.ini: saving it is a change to be made. So does the
    // newest when it holds changes a shut-down by signal kept out of refs.ini.
    std::string chosen_bytes, saved_bytes;
    const bool same_as_saved = read_file(path, chosen_bytes) &&
                               read_file(store_.refs_path(), saved_bytes) &&
                               chosen_bytes == saved_bytes;
    store_.state().set_changed(chosen != 1 || !same_as_saved);
}

void nx_dlg_mod::close_by_signal() {
    if (closing_by_signal_)
        return;
    closing_by_signal_ = true;
    if (i_prompt* prompt = current_prompt())
        prompt->close_all();
    // Queued: the loops of the prompts just closed end first.
    QMetaObject::invokeMethod(
        this, [this] { close_when_shown(); }, Qt::QueuedConnection);
}

void nx_dlg_mod::close_when_shown() {
    // A signal during start-up: the window is shown only after the load, then closed.
    if (!contents_created_ || !isVisible()) {
        QTimer::singleShot(20, this, [this] { close_when_shown(); });
        return;
    }
    close();
}

void nx_dlg_mod::keep_changes_in_backup() {
    flush_table_edits(store_);
    const std::string path = store_.save_as_backup();
    nx_log::main().war("завершение по сигналу: несохраненные изменения записаны в резервную "
                       "копию '" +
                       path + "' (кнопка \"Загрузить\"), refs.ini не изменен");
}

bool nx_dlg_mod::save_on_close(QCloseEvent* event) {
    try {
        if (store_.state().changed() && closing_by_signal_) {
            // Nobody is there to answer: keep the changes without touching refs.ini.
            keep_changes_in_backup();
        } else if (store_.state().changed()) {
            int answer = show_message(this, "Сохранить все изменения ?", mb_question_cancel);
            if (answer == answer_yes) {
                save();
                // Refused (no engineer's password): the changes are not lost by closing.
                if (store_.state().changed()) {
                    event->ignore();
                    return false;
                }
            } else if (answer != answer_no) {
                event->ignore();
                return false;
            }
        } else if (edit_mode_ && !store_.state().load_failed()) {
            flush_table_edits(store_);
            store_.save();
        }
    } catch (const std::exception& e) {
        // The file on disk is still the previous complete one; the window stays so nothing is
        // lost.
        nx_log::main().err(e.what());
        // The system is going down: it does not wait for a window kept open.
        if (closing_by_signal_)
            return true;
        show_message(this, e.what(), mb_error);
        event->ignore();
        return false;
    }
    return true;
}

void nx_dlg_mod::closeEvent(QCloseEvent* event) {
    if (!save_on_close(event))
        return;
    store_placement(*this);
    hide();
    store_.start_devices(false);
    if (fast_timer_ != nullptr)
        fast_timer_->stop();
    event->accept();
}

bool nx_dlg_mod::eventFilter(QObject* watched, QEvent* event) {
    auto* b = dynamic_cast<toolbar_tool_button*>(watched);
    if (b == nullptr)
        return QMainWindow::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ToolTip:
        // Our own tooltip: its width, timing and balloon are the toolbar's, not Qt's.
        if (hints_on_ && b->defaultAction() != nullptr)
            hint_->show_hint(b->defaultAction()->toolTip(), b,
                             read_setting(setting::hint_balloon) != 0);
        return true;
    case QEvent::Enter: {
        // While a hint is up, or was until the pointer left the button next to this one, the
        // next button's comes at once (within the 1 ms the hint's reshow delay allows).
        const bool was_up =
            hint_->isVisible() ||
            (hint_left_.isValid() && hint_left_.elapsed() < hint_popup::reshow_window_ms);
        if (hints_on_ && was_up && b->defaultAction() != nullptr)
            hint_->show_hint(b->defaultAction()->toolTip(), b,
                             read_setting(setting::hint_balloon) != 0);
        break;
    }
    case QEvent::Leave:
        if (hint_->isVisible())
            hint_left_.start();
        else
            hint_left_.invalidate();
        hint_->hide_hint();
        break;
    case QEvent::MouseButtonPress:
        hint_->hide_hint();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void nx_dlg_mod::post_update(i_updater* updater, int generation) {
    QMetaObject::invokeMethod(
        this,
        [this, updater, generation] { in_pass([&] { store_.hand_over(updater, generation); }); },
        Qt::QueuedConnection);
}

void nx_dlg_mod::bring_forward() {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void nx_dlg_mod::relayout() {
    if (centralWidget() != nullptr && centralWidget()->layout() != nullptr)
        centralWidget()->layout()->invalidate();
}

} // namespace nxkit
