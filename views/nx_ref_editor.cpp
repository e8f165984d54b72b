#include "views/nx_ref_editor.h"

#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "base/settings_keys.h"
#include "config/entry_checks.h"
#include "config/interfaces.h"
#include "config/ref_editing.h"
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "platform/desktop_services.h"
#include "structure/i_signal_source.h"
#include "structure/t_struct_vl.h"
#include "views/editor_menus.h"
#include "views/nx_view_tree.h"
#include "ui/wait_cursor.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace nxkit {

namespace {

constexpr int name_column_width = 139;
constexpr int value_column_default = 144;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::string clipboard_text() {
    i_clipboard* clipboard = current_clipboard();
    return clipboard != nullptr ? clipboard->text() : std::string();
}

void put_on_clipboard(const std::string& text) {
    if (i_clipboard* clipboard = current_clipboard())
        clipboard->set_text(text);
}

int popup(QWidget* owner, const std::vector<menu_item>& items) {
    i_prompt* prompt = current_prompt();
    return prompt != nullptr ? prompt->popup_menu(owner_handle(owner), items) : 0;
}

// The 5-pixel bar on the panel's right edge: dragging it widens or narrows the panel.
class splitter_bar : public QWidget {
public:
    splitter_bar(nx_ref_editor& editor, QWidget* parent) : QWidget(parent), editor_(editor) {
        setFixedWidth(5);
        setCursor(Qt::SplitHCursor);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        start_x_ = int(event->globalPosition().x());
        start_width_ = editor_.panel_width();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (event->buttons().testFlag(Qt::LeftButton))
            editor_.set_panel_width(
                panel_width_after_drag(start_width_, int(event->globalPosition().x()) - start_x_));
    }

private:
    nx_ref_editor& editor_;
    int start_x_ = 0;
    int start_width_ = 0;
};

} // namespace

int parameter_section_height(int editline) {
    return 20 * std::clamp(editline, 4, 15) + 40;
}

int panel_width_after_drag(int width, int dx) {
    return std::max(editor_min_width, width + dx);
}

int value_column_width(int grid_width, int name_width) {
    int width = grid_width - name_width - 2;
    return width < 0 ? -1 : width;
}

nx_ref_editor::nx_ref_editor(t_ref_buff& store, QWidget* parent) : QWidget(parent), store_(store) {
    QFont log_font = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* column = new QVBoxLayout;
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(2);
    outer->addLayout(column, 1);
    splitter_ = new splitter_bar(*this, this);
    outer->addWidget(splitter_);

    find_ = new QLineEdit(this);
    find_->setPlaceholderText(QStringLiteral("Найти: имя, ключ или сигнал (Enter, F3, Shift+F3)"));
    find_->setClearButtonEnabled(true);
    column->addWidget(find_);
    tree_ = new QTreeView(this);
    column->addWidget(tree_, 1);

    section_ = new QWidget(this);
    section_->setFixedHeight(parameter_section_height(read_setting(setting::editline)));
    auto* section = new QVBoxLayout(section_);
    section->setContentsMargins(0, 0, 0, 0);
    section->setSpacing(2);
    active_ = new QCheckBox(QStringLiteral("Активный.   "), section_);
    active_->setFixedHeight(20);
    section->addWidget(active_);
    grid_ = new QTableWidget(0, 2, section_);
    grid_->setHorizontalHeaderLabels({QStringLiteral("Параметр"), QStringLiteral("Значение")});
    grid_->verticalHeader()->hide();
    grid_->setShowGrid(true);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setFont(log_font);
    grid_->setColumnWidth(0, name_column_width);
    grid_->setColumnWidth(1, value_column_default);
    grid_->horizontalHeader()->setStretchLastSection(false);
    // The value column takes what the name column leaves.
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->verticalHeader()->setDefaultSectionSize(18);
    grid_->setContextMenuPolicy(Qt::NoContextMenu);
    section->addWidget(grid_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    delete_ = new QPushButton(QStringLiteral("Удалить"), section_);
    cancel_ = new QPushButton(QStringLiteral("Отменить"), section_);
    apply_ = new QPushButton(QStringLiteral("Применить"), section_);
    for (QPushButton* b : {delete_, cancel_, apply_}) {
        b->setFixedSize(70, 20);
        b->setEnabled(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    section->addLayout(buttons);
    column->addWidget(section_);

    button_ = new QPushButton(QStringLiteral("Редактор"), grid_->viewport());
    list_ = new QComboBox(grid_->viewport());
    combo_ = new QComboBox(grid_->viewport());
    combo_->setEditable(true);
    text_ = new QLineEdit(grid_->viewport());
    for (QWidget* w : std::initializer_list<QWidget*>{button_, list_, combo_, text_}) {
        w->hide();
        w->setFont(log_font);
        w->installEventFilter(this);
    }
    combo_->lineEdit()->installEventFilter(this);
    list_->view()->setMinimumWidth(100);
    grid_->installEventFilter(this);
    grid_->viewport()->installEventFilter(this);

    connect(apply_, &QPushButton::clicked, this, [this] { on_apply_clicked(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { cancel(); });
    connect(delete_, &QPushButton::clicked, this, [this] { delete_current(); });
    connect(active_, &QCheckBox::clicked, this, [this] { on_active_toggled(); });
    connect(grid_, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (editing_)
            end_row_edit(true);
        set_current_row(row);
        begin_row_edit();
    });
    connect(grid_, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (row >= 0)
            current_row_ = row;
    });
    connect(grid_->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int) {
                if (section == 0)
                    fit_columns();
            });
}

nx_ref_editor::~nx_ref_editor() = default;

void nx_ref_editor::place(const std::string& name) {
    name_ = name;
    width_ = std::max(editor_min_width,
                      settings_get_int("CTRL", "editor_width_" + name_, editor_min_width, true));
    setFixedWidth(width_);
}

void nx_ref_editor::set_log_font(const QFont& font) {
    grid_->setFont(font);
    for (QWidget* w : std::initializer_list<QWidget*>{button_, list_, combo_, text_})
        w->setFont(font);
}

void nx_ref_editor::set_panel_width(int width) {
    width = std::max(editor_min_width, width);
    if (width == width_)
        return;
    width_ = width;
    setFixedWidth(width_);
    if (!name_.empty())
        settings_set_int("CTRL", "editor_width_" + name_, width_);
}

void nx_ref_editor::show_panel(bool visible) {
    panel_shown_ = visible;
    if (!name_.empty())
        settings_set_int("CTRL", "editor_" + name_, visible ? 1 : 0);
    setVisible(visible);
}

void nx_ref_editor::show_grid(bool visible) {
    grid_shown_ = visible;
    section_->setVisible(visible);
}

// ---- i_ref_editor ----

void nx_ref_editor::refresh() {
    // Keeps what the operator is typing: a change from outside shows the component again
    // only when no edit is pending (showing would apply it).
    if (editing_ || apply_->isEnabled())
        return;
    show(current());
}

void nx_ref_editor::show(t_ref* component) {
    // A refused value keeps the component with everything typed and the message, exactly as
    // on "Применить": nothing pending is dropped in silence.
    if (current() != nullptr && apply_->isEnabled() && !apply_edits())
        return;
    if (editing_)
        end_row_edit(false);
    shown_ = component;
    shown_key_ = component != nullptr ? component->key() : std::string();
    grid_->setRowCount(0);
    stored_.clear();
    apply_->setEnabled(false);
    cancel_->setEnabled(false);
    modified_ = false;
    if (component == nullptr) {
        active_->setText(QStringLiteral("Активный.   "));
        active_->setChecked(false);
        active_->setEnabled(false);
        delete_->setEnabled(false);
        return;
    }
    current_row_ = 0;
    active_->setText(qs("Активный.   " + type_name(component->type())));
    active_->setChecked(!component->has_flag(flag_locked));
    for (int i = 0;; ++i) {
        std::string value;
        std::string name;
        if (!component->get_parameter(i, value, name))
            break;
        grid_->insertRow(i);
        auto* name_item = new QTableWidgetItem(qs(name));
        auto* value_item = new QTableWidgetItem(qs(value));
        name_item->setToolTip(qs(name));
        value_item->setToolTip(qs(value));
        grid_->setItem(i, 0, name_item);
        grid_->setItem(i, 1, value_item);
        stored_.push_back(value);
    }
    read_only_ = component->has_flag(flag_read_only);
    delete_->setEnabled(!read_only_ && !component->has_flag(flag_no_delete));
    if (return_to_ != nullptr)
        focus_grid(return_to_);
    active_->setEnabled(!component->has_flag(flag_active_fixed));
}

void nx_ref_editor::apply() {
    apply_edits();
}

bool nx_ref_editor::apply_edits() {
    t_ref* component = current();
    if (component != nullptr && panel_shown_) {
        if (editing_)
            end_row_edit(true);
    }
    if (component != nullptr) {
        if (!apply_rows(*component))
            return false;
        component->set_flag(!active_->isChecked(), flag_locked);
        component->set_flag(true, flag_modified);
        try {
            t_ref* root = component->init_root();
            (root != nullptr ? root : component)->init();
            store_.rebuild(false, false);
        } catch (const nx_exception_ref_init& e) {
            component->set_flag(true, flag_locked);
            nx_log::main().err(e.what());
            show_error(e.what());
        }
        component->set_flag(false, flag_tree_mark);
        std::string parent = parent_key(component->key());
        store_.mark_changed(parent.empty() ? component->key() : parent);
        if (apply_->isEnabled())
            enable_save();
    }
    grid_->setRowCount(0);
    if (return_to_ != nullptr) {
        return_to_->setFocus();
        return_to_ = nullptr;
    }
    apply_->setEnabled(false);
    return true;
}

void nx_ref_editor::reopen_refused(int row, const std::string& message) {
    show_error(message);
    set_current_row(row);
    std::string typed = row_text(row);
    begin_row_edit();
    if (open_kind_ == editor_free_text)
        text_->setText(qs(typed));
    else if (open_kind_ == editor_choice_or_text)
        combo_->setEditText(qs(typed));
}

bool nx_ref_editor::apply_rows(t_ref& component) {
    int rows = grid_->rowCount();
    // Characters the files cannot hold never reach the component (they would be saved as '?').
    for (int i = 0; i < rows; ++i) {
        if (std::string refusal = cp1251_refusal(row_text(i)); !refusal.empty()) {
            reopen_refused(i, refusal);
            return false;
        }
    }
    for (int i = 0; i < rows; ++i) {
        try {
            component.set_parameter(i, row_text(i));
        } catch (const nx_exception& e) {
            // Nothing half-applied: the rows set so far get their shown values back.
            for (int j = 0; j < i && j < int(stored_.size()); ++j) {
                try {
                    component.set_parameter(j, stored_[j]);
                } catch (const nx_exception&) {
                }
            }
            reopen_refused(i, e.what());
            return false;
        }
    }
    return true;
}

std::string nx_ref_editor::entry_refusal(int row, const std::string& text) {
    if (std::string refusal = cp1251_refusal(text); !refusal.empty())
        return refusal;
    t_ref* component = current();
    if (component == nullptr || row < 0 || row >= int(stored_.size()) || text == stored_[row])
        return {};
    // The component itself tells whether it can hold the value: the rows are set as
    // "Применить" would set them, with this one typed, and then put back as shown. Only this
    // row's refusal counts here; the others are reported when applied.
    std::string refusal;
    int set = 0;
    for (int i = 0; i < int(stored_.size()) && i < grid_->rowCount(); ++i) {
        try {
            component->set_parameter(i, i == row ? text : row_text(i));
        } catch (const nx_exception& e) {
            if (i == row) {
                refusal = e.what();
                break;
            }
        }
        set = i + 1;
    }
    for (int i = 0; i < set; ++i) {
        try {
            component->set_parameter(i, stored_[static_cast<std::size_t>(i)]);
        } catch (const nx_exception&) {
        }
    }
    return refusal;
}

bool nx_ref_editor::commit_row_edit() {
    if (!editing_)
        return true;
    std::string typed;
    switch (open_kind_) {
    case editor_free_text:
        typed = text_->text().toStdString();
        break;
    case editor_choice_or_text:
        typed = combo_->currentText().toStdString();
        break;
    case editor_choice_only:
        typed = list_->currentText().toStdString();
        break;
    default:
        end_row_edit(true);
        return true;
    }
    if (std::string refusal = entry_refusal(current_row_, typed); !refusal.empty()) {
        // Refused at entry: the editor stays open on the row with what was typed.
        show_error(refusal);
        if (QWidget* control = open_editor())
            control->setFocus();
        return false;
    }
    end_row_edit(true);
    return true;
}

void nx_ref_editor::set_modified(bool enable, bool force) {
    if (force)
        modified_ = true;
    if ((!modified_ || enable) && !read_only_) {
        apply_->setEnabled(enable);
        cancel_->setEnabled(enable);
    }
}

void nx_ref_editor::delete_current() {
    t_ref* component = current();
    if (component == nullptr)
        return;
    std::string key = component->key();
    if (editing_)
        end_row_edit(false);
    apply_->setEnabled(false);
    show(nullptr);
    if (del_ref(store_, key)) {
        enable_save();
        return;
    }
    // Refused: the component is still there and still selected.
    show(store_.get(key));
}

bool nx_ref_editor::can_delete() const {
    t_ref* component = current();
    return component != nullptr && !read_only_ && !component->has_flag(flag_no_delete);
}

void nx_ref_editor::open_first_row(void* return_to) {
    if (current() == nullptr || grid_->rowCount() == 0)
        return;
    if (editing_ && !commit_row_edit())
        return;
    focus_grid(return_to);
    begin_row_edit();
}

void nx_ref_editor::focus_grid(void* return_to) {
    return_to_ = static_cast<QWidget*>(return_to);
    grid_->setFocus();
    if (grid_->rowCount() > 0) {
        grid_->setCurrentCell(0, 1);
        current_row_ = 0;
    }
}

bool nx_ref_editor::shows(const std::string& key) const {
    return current() != nullptr && shown_key_ == key;
}

void nx_ref_editor::cancel() {
    apply_->setEnabled(false);
    if (editing_)
        end_row_edit(false);
    show(current());
}

void nx_ref_editor::tree_changed() {
    enable_save();
}

void nx_ref_editor::changed(long a, long b) {
    (void)a;
    (void)b;
    enable_save();
}

// ---- menus ----

void nx_ref_editor::context_menu() {
    t_ref* component = current();
    if (component == nullptr)
        return;
    bool pasteable = can_paste(store_, component->key(), clipboard_text());
    int command = popup(this, node_menu(*component, pasteable, static_cast<bool>(trend_opener_)));
    if (command != 0)
        run_node_command(command);
}

void nx_ref_editor::run_node_command(int command) {
    t_ref* component = current();
    if (component == nullptr)
        return;
    std::string key = component->key();
    if (int type = 0, count = 0; add_command_parts(command, type, count), count > 0) {
        add_children(type, count);
        return;
    }
    switch (command) {
    case editor_cmd::remove:
        delete_current();
        break;
    case editor_cmd::remove_following:
        apply_->setEnabled(false);
        show(nullptr);
        if (delete_following(store_, key))
            enable_save();
        else
            show(store_.get(key));
        break;
    case editor_cmd::active:
        active_->setChecked(!active_->isChecked());
        apply_->setEnabled(true);
        apply();
        show(store_.get(key));
        enable_save();
        break;
    case editor_cmd::active_all:
        if (set_active_children(store_, key)) {
            apply_->setEnabled(true);
            apply();
            show(store_.get(key));
            enable_save();
        }
        break;
    case editor_cmd::copy:
        put_on_clipboard(store_.subtree_xml(key));
        break;
    case editor_cmd::trend:
        if (auto* signal = dynamic_cast<t_struct_vl*>(component); signal && trend_opener_)
            trend_opener_(signal->signal_key());
        break;
    case editor_cmd::paste: {
        std::string text = clipboard_text();
        std::vector<std::string> created;
        if (!can_paste(store_, key, text))
            break;
        bool pasted = false;
        {
            wait_cursor busy;
            pasted = paste(store_, key, text, &created);
        }
        if (pasted && !created.empty()) {
            std::sort(created.begin(), created.end());
            if (viewer_ != nullptr)
                viewer_->choose(created.front());
            enable_save();
        }
        break;
    }
    default:
        if (command >= editor_cmd::component_command) {
            std::string arg = key;
            if (component->command(false, command - editor_cmd::component_command, arg) != 0) {
                show(store_.get(key));
                enable_save();
            }
        }
        break;
    }
}

void nx_ref_editor::add_children(int type, int count) {
    t_ref* component = current();
    if (component == nullptr)
        return;
    std::vector<int> types = component->child_types();
    if (std::find(types.begin(), types.end(), type) == types.end() ||
        !component->can_add_child(type))
        return;
    std::string key = component->key();
    std::vector<std::string> created;
    {
        wait_cursor busy;
        created = add_components(store_, key, type, count);
    }
    if (!created.empty()) {
        enable_save();
        if (viewer_ != nullptr)
            viewer_->choose(created.front());
    }
}

void nx_ref_editor::selection_menu(const std::vector<std::string>& keys) {
    std::vector<t_ref*> selected;
    for (const std::string& key : keys)
        if (t_ref* r = store_.get(key))
            selected.push_back(r);
    if (selected.empty())
        return;
    int command = popup(this, selection_menu_items(selected));
    switch (command) {
    case editor_cmd::copy_names: {
        std::string text;
        for (t_ref* r : selected)
            text += r->export_name() + "\r\n";
        put_on_clipboard(text);
        break;
    }
    case editor_cmd::copy_values: {
        std::string text;
        bool structure = dynamic_cast<i_struct_element*>(selected.front()) != nullptr;
        int type = selected.front()->type();
        for (t_ref* r : selected) {
            if (r->type() != type)
                continue;
            double value = 0;
            if (structure) {
                auto* element = dynamic_cast<i_struct_element*>(r);
                if (element->value_slot() == nullptr)
                    continue;
                value = *element->value_slot();
            } else if (auto* source = dynamic_cast<i_signal_source*>(r)) {
                value = source->current_value();
            }
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%f", value);
            text += std::string(buffer) + "\r\n";
        }
        put_on_clipboard(text);
        break;
    }
    case editor_cmd::selection_delete:
        delete_marked_keys(keys);
        break;
    default:
        break;
    }
}

void nx_ref_editor::delete_marked_keys(const std::vector<std::string>& keys) {
    bool deletable = false;
    for (const std::string& key : keys)
        if (t_ref* r = store_.get(key))
            deletable = deletable || !r->has_flag(flag_no_delete);
    if (!deletable)
        return;
    std::string current_key = shown_key_;
    apply_->setEnabled(false);
    show(nullptr);
    bool deleted = delete_marked(store_, keys, current_key);
    if (multi_clear_)
        multi_clear_();
    if (deleted)
        enable_save();
    if (t_ref* still = store_.get(current_key))
        show(still);
}

void nx_ref_editor::row_menu(int row) {
    t_ref* component = current();
    if (component == nullptr || row < 0 || row >= grid_->rowCount() || read_only_)
        return;
    if (editing_)
        end_row_edit(true);
    set_current_row(row);
    choice_list choices;
    int kind = component->parameter_editor(row, choices);
    row_menu_context context;
    std::string text = row_text(row);
    std::vector<std::string> used_keys;
    if (kind == editor_free_text) {
        context.clipboard_lines = clipboard_lines(clipboard_text());
        if (i_viewer* structure = store_.structure_tree()) {
            (void)structure;
            std::string k = store_.current('K');
            if (auto* element = dynamic_cast<i_struct_element*>(store_.get(k))) {
                context.signal_key = element->signal_key();
                context.signal_title = store_.get(k)->title();
            }
        }
        key_set used;
        store_.used_components(text, used);
        for (const std::string& k : used) {
            auto* signal = dynamic_cast<t_struct_vl*>(store_.get(k));
            if (signal == nullptr)
                continue;
            used_keys.push_back(k);
            context.used_signals.push_back(signal->listing_text());
        }
    }
    std::vector<menu_item> menu = nxkit::row_menu(kind, context);
    if (menu.empty())
        return;
    int command = popup(this, menu);
    if (command == 0)
        return;
    std::string key = component->key();
    auto repeat = [&](int step, int interval) {
        {
            wait_cursor busy;
            repeat_value(store_, key, row, text, step, interval);
        }
        set_modified(true, false);
        apply_->setEnabled(true);
        show(store_.get(key));
        enable_save();
    };
    auto paste_lines = [&](int start, int skip) {
        int answer = show_message(owner_handle(static_cast<QWidget*>(this)),
                                  "Вставить из буфера обмена строки?\r\n[Да] - Заменить\r\n"
                                  "[Нет] - Добавить",
                                  mb_question_cancel);
        if (answer != answer_yes && answer != answer_no)
            return;
        {
            wait_cursor busy;
            repeat_values(store_, key, row, context.clipboard_lines, start, answer == answer_yes,
                          skip);
        }
        apply_->setEnabled(false);
        cancel_->setEnabled(false);
        store_.rebuild(false, true);
        show(store_.get(key));
        enable_save();
    };
    if (command == editor_cmd::repeat) {
        repeat(0, 0);
    } else if (command == editor_cmd::repeat_step_1) {
        if (kind == editor_choice_only)
            repeat(0, 1);
        else
            repeat(1, 0);
    } else if (command > editor_cmd::repeat_step && command <= editor_cmd::repeat_step + 30) {
        repeat(command - editor_cmd::repeat_step, 0);
    } else if (command >= editor_cmd::paste_line && command < editor_cmd::paste_line + 31) {
        paste_lines(command - editor_cmd::paste_line, 0);
    } else if (command > editor_cmd::paste_line_skip &&
               command <= editor_cmd::paste_line_skip + 30) {
        int start = popup(this, line_items(context.clipboard_lines));
        if (start >= editor_cmd::paste_line)
            paste_lines(start - editor_cmd::paste_line, command - editor_cmd::paste_line_skip - 1);
    } else if (command == editor_cmd::insert_signal_key ||
               command == editor_cmd::insert_signal_title) {
        std::string piece =
            command == editor_cmd::insert_signal_key ? context.signal_key : context.signal_title;
        set_row_text(row, text + " " + piece);
        set_modified(true, false);
        enable_save();
    } else if (command >= editor_cmd::select_signal &&
               command < editor_cmd::select_signal + int(used_keys.size())) {
        if (i_viewer* structure = store_.structure_tree())
            structure->choose(used_keys[command - editor_cmd::select_signal]);
    }
}

// ---- row editing ----

void nx_ref_editor::begin_row_edit() {
    t_ref* component = current();
    if (component == nullptr || current_row_ < 0 || current_row_ >= grid_->rowCount())
        return;
    // A read-only component's rows are shown, never edited.
    if (read_only_)
        return;
    for (int i = 0; i < grid_->rowCount(); ++i)
        component->preview_parameter(i, row_text(i));
    choice_list choices;
    open_kind_ = component->parameter_editor(current_row_, choices);
    std::string text = row_text(current_row_);
    // An edit that ends without a change leaves the component as unmodified as it was.
    apply_before_edit_ = apply_->isEnabled();
    text_before_edit_ = text;
    QWidget* control = nullptr;
    switch (open_kind_) {
    case editor_read_only:
        text_->setText(qs(text));
        text_->setReadOnly(true);
        control = text_;
        break;
    case editor_free_text:
        text_->setText(qs(text));
        text_->setReadOnly(false);
        set_modified(true, false);
        control = text_;
        break;
    case editor_choice_only: {
        list_->clear();
        int selected = 0;
        for (std::size_t i = 0; i < choices.size(); ++i) {
            list_->addItem(qs(choices[i].text), choices[i].value);
            if (choices[i].text == text && selected == 0)
                selected = int(i);
        }
        list_->setCurrentIndex(choices.empty() ? -1 : selected);
        set_modified(true, false);
        control = list_;
        break;
    }
    case editor_choice_or_text:
        combo_->clear();
        for (const choice& c : choices)
            combo_->addItem(qs(c.text), c.value);
        combo_->setEditText(qs(text));
        set_modified(true, false);
        control = combo_;
        break;
    case editor_button:
        control = button_;
        break;
    default:
        return;
    }
    editing_ = true;
    place_row_editor();
    control->show();
    control->raise();
    control->setFocus();
    if (open_kind_ == editor_free_text)
        text_->selectAll();
}

void nx_ref_editor::place_row_editor() {
    QWidget* control = open_editor();
    if (control == nullptr)
        return;
    QRect cell = grid_->visualRect(grid_->model()->index(current_row_, 1));
    if (open_kind_ == editor_choice_only)
        cell.adjust(0, -3, 0, 0);
    if (open_kind_ == editor_button)
        cell.adjust(0, -2, 0, 2);
    control->setGeometry(cell.x(), cell.y(), grid_->columnWidth(1),
                         std::max(cell.height(), control->sizeHint().height() > 24
                                                     ? cell.height()
                                                     : control->sizeHint().height()));
}

QWidget* nx_ref_editor::open_editor() const {
    if (!editing_)
        return nullptr;
    switch (open_kind_) {
    case editor_read_only:
    case editor_free_text:
        return text_;
    case editor_choice_only:
        return list_;
    case editor_choice_or_text:
        return combo_;
    case editor_button:
        return button_;
    default:
        return nullptr;
    }
}

void nx_ref_editor::end_row_edit(bool commit) {
    if (!editing_ || ending_)
        return;
    ending_ = true;
    QWidget* control = open_editor();
    editing_ = false;
    if (commit) {
        switch (open_kind_) {
        case editor_choice_only:
            if (list_->currentIndex() >= 0)
                set_row_text(current_row_, list_->currentText().toStdString());
            break;
        case editor_choice_or_text:
            set_row_text(current_row_, combo_->currentText().toStdString());
            break;
        case editor_free_text:
            set_row_text(current_row_, text_->text().toStdString());
            break;
        default:
            break;
        }
    }
    if (control != nullptr)
        control->hide();
    if (!apply_before_edit_ && row_text(current_row_) == text_before_edit_)
        set_modified(false, false);
    grid_->setFocus();
    set_current_row(current_row_);
    ending_ = false;
}

// ---- keys ----

bool nx_ref_editor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == grid_ || watched == grid_->viewport()) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
            int row = grid_->rowAt(pos.y());
            if (row >= 0)
                row_menu(row);
            return true;
        }
        if (watched == grid_)
            return grid_key(event);
        return false;
    }
    return row_editor_key(watched, event);
}

bool nx_ref_editor::grid_key(QEvent* event) {
    if (event->type() == QEvent::Resize) {
        fit_columns();
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    // Keys a row editor leaves unused come up to the grid; they must not move its row while
    // the editor writes into it.
    if (editing_)
        return true;
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        return false;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        begin_row_edit();
        return true;
    case Qt::Key_Tab:
        apply_->setFocus();
        return true;
    case Qt::Key_Escape:
        if (return_to_ != nullptr) {
            QWidget* back = std::exchange(return_to_, nullptr);
            back->setFocus();
        }
        return true;
    default:
        // Only Up and Down move the row: no paging, no jump to a row by its first letter.
        return true;
    }
}

bool nx_ref_editor::row_editor_key(QObject* watched, QEvent* event) {
    bool ours = watched == text_ || watched == list_ || watched == combo_ ||
                watched == combo_->lineEdit() || watched == button_;
    if (!ours || !editing_)
        return false;
    if (event->type() == QEvent::FocusOut) {
        auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)
            return false;
        // Within the combo box (its field and its button) the edit goes on.
        if (watched == combo_->lineEdit() || watched == combo_)
            if (QWidget* now = QApplication::focusWidget();
                now == combo_ || now == combo_->lineEdit())
                return false;
        end_row_edit(true);
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (watched == button_) {
        if (enter) {
            t_ref* component = current();
            if (component != nullptr && component->on_parameter_enter(current_row_)) {
                end_row_edit(false);
                apply_->setEnabled(true);
                show(store_.get(shown_key_));
            }
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            end_row_edit(false);
            return true;
        }
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            int row = current_row_ + (key->key() == Qt::Key_Up ? -1 : 1);
            end_row_edit(true);
            set_current_row(std::clamp(row, 0, std::max(0, grid_->rowCount() - 1)));
            return true;
        }
        return false;
    }
    // An open drop-down list takes its own keys (Escape closes the list, not the edit).
    QComboBox* box = watched == list_ ? list_ : watched == text_ ? nullptr : combo_;
    if (box != nullptr && box->view()->isVisible())
        return false;
    if (enter) {
        // Committed on its own row; a refused value keeps the editor open.
        commit_row_edit();
        return true;
    }
    if (key->key() == Qt::Key_Escape) {
        end_row_edit(false);
        return true;
    }
    if (watched == text_ && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
        int row = current_row_ + (key->key() == Qt::Key_Up ? -1 : 1);
        if (commit_row_edit())
            set_current_row(std::clamp(row, 0, std::max(0, grid_->rowCount() - 1)));
        return true;
    }
    return false;
}

// ---- helpers ----

void nx_ref_editor::on_apply_clicked() {
    bool returns = return_to_ != nullptr;
    apply();
    if (editing_)
        return;
    refresh();
    // The disabled button would hand the focus to whatever widget comes next, often another
    // panel; it stays in this one.
    if (!returns)
        grid_->setFocus();
}

void nx_ref_editor::on_active_toggled() {
    t_ref* component = current();
    if (component == nullptr)
        return;
    if (read_only_ || component->has_flag(flag_active_fixed)) {
        active_->setChecked(!component->has_flag(flag_locked));
        return;
    }
    set_modified(true, true);
}

void nx_ref_editor::enable_save() {
    store_.state().mark_changed();
    if (save_enabler_)
        save_enabler_();
}

void nx_ref_editor::fit_columns() {
    int width = value_column_width(grid_->viewport()->width(), grid_->columnWidth(0));
    if (width < 0) {
        grid_->setColumnWidth(0, name_column_width);
        grid_->setColumnWidth(1, value_column_default);
    } else {
        grid_->setColumnWidth(1, width);
    }
    if (editing_)
        place_row_editor();
}

void nx_ref_editor::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fit_columns();
}

void nx_ref_editor::show_error(const std::string& text) {
    show_message(owner_handle(static_cast<QWidget*>(this)), text, mb_error);
}

t_ref* nx_ref_editor::current() const {
    if (shown_key_.empty())
        return nullptr;
    t_ref* component = store_.get(shown_key_);
    return component == shown_ ? component : nullptr;
}

int nx_ref_editor::row_count() const {
    return grid_->rowCount();
}

std::string nx_ref_editor::row_name(int row) const {
    QTableWidgetItem* item = grid_->item(row, 0);
    return item != nullptr ? item->text().toStdString() : std::string();
}

std::string nx_ref_editor::row_text(int row) const {
    QTableWidgetItem* item = grid_->item(row, 1);
    return item != nullptr ? item->text().toStdString() : std::string();
}

void nx_ref_editor::set_row_text(int row, const std::string& text) {
    if (QTableWidgetItem* item = grid_->item(row, 1)) {
        item->setText(qs(text));
        item->setToolTip(qs(text));
    }
}

void nx_ref_editor::set_current_row(int row) {
    if (row < 0 || row >= grid_->rowCount())
        return;
    current_row_ = row;
    grid_->setCurrentCell(row, 1);
}

void bind_tree(nx_ref_editor& editor, nx_view_tree& view) {
    view.set_editor(&editor);
    tree_editor_actions actions;
    actions.edits_pending = [&editor] { return editor.apply_button()->isEnabled(); };
    actions.can_delete = [&editor] { return editor.can_delete(); };
    actions.delete_marked = [&editor](const std::vector<std::string>& keys) {
        editor.delete_marked_keys(keys);
    };
    actions.node_command = [&editor](int command) { editor.run_node_command(command); };
    actions.open_first_row = [&editor](void* back) { editor.open_first_row(back); };
    view.set_editor_actions(std::move(actions));
    editor.set_viewer(&view);
    editor.set_multi_clear([&view] { view.clear_multi(); });
    view.attach_find_field(editor.find_field());
}

} // namespace nxkit
