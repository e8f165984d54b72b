#include "views/nx_view_tree.h"

#include "base/nx_log.h"
#include "base/settings_keys.h"
#include "config/ref_editing.h"
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref.h"
#include "config/t_ref_buff.h"
#include "views/i_ref_editor.h"
#include "views/editor_menus.h"
#include "views/tree_find.h"
#include "ui/wait_cursor.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTreeView>

namespace nxkit {

namespace {

// Expands a scheme element's node when it is selected (scheme model).
constexpr std::uint32_t flag_expand_on_select = 0x200;
constexpr int copy_command = editor_cmd::copy;
constexpr int paste_command = editor_cmd::paste;

std::string key_lines(const std::set<std::string>& keys) {
    std::string text;
    for (const std::string& key : keys)
        text += "\r\n" + key;
    return text;
}

} // namespace

int tree_label_mode_setting() {
    return read_setting(setting::num);
}

nx_view_tree::nx_view_tree(t_ref_buff& store, QTreeView* tree, int label_mode, QObject* parent)
    : QObject(parent), store_(store), tree_(tree), model_(store, {}) {
    model_.set_label_mode(label_mode);
    tree_->setModel(&model_);
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setExpandsOnDoubleClick(true);
    tree_->setContextMenuPolicy(Qt::NoContextMenu);
    tree_->header()->setStretchLastSection(false);
    tree_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tree_->installEventFilter(this);
    tree_->viewport()->installEventFilter(this);
    tree_->viewport()->setMouseTracking(false);
    connect(tree_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { handle_selection(); });
    connect(&model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            &nx_view_tree::before_rows_removed);
    // The new selection is made once the batch is applied: selecting may fetch nodes, which
    // must not happen while rows are being removed.
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (!reselect_key_.empty() && !in_batch_)
            reselect();
    });
}

nx_view_tree::~nx_view_tree() {
    store_.remove_viewer(this);
    if (subscribed_)
        store_.unsubscribe_subtree(model_.root_key(), this);
    delete drag_image_;
}

void nx_view_tree::set_root_key(const std::string& key) {
    model_.set_root_key(key);
}

void nx_view_tree::set_icon_source(tree_icon_source source) {
    model_.set_icon_source(std::move(source));
}

void nx_view_tree::add_selection_listener(std::function<void(const std::string&)> listener) {
    listeners_.push_back(std::move(listener));
}

void nx_view_tree::attach_find_field(QLineEdit* field) {
    find_field_ = field;
    field->installEventFilter(this);
    connect(field, &QLineEdit::returnPressed, this,
            [this] { find_next(find_field_->text().toStdString(), true); });
    connect(field, &QLineEdit::textEdited, this, [this] { find_field_->setStyleSheet({}); });
}

void nx_view_tree::choose(const std::string& wanted) {
    // A copy: the caller may pass pending_key_ itself, which is cleared below.
    const std::string key = wanted;
    QModelIndex index = model_.reveal(key);
    if (!index.isValid()) {
        pending_key_ = key;
        return;
    }
    if (key == pending_key_)
        pending_key_.clear();
    if (key == selected_key()) {
        if (editor_ != nullptr && !editor_->shows(key))
            handle_selection();
        return;
    }
    select_index(index);
}

void nx_view_tree::on_unload() {
    std::string selected = selected_key();
    store_.set_current(selected.empty() ? model_.root_key() : selected);
    if (subscribed_)
        store_.unsubscribe_subtree(model_.root_key(), this);
    subscribed_ = false;
    multi_.clear();
    model_.unload();
}

void nx_view_tree::on_load() {
    const std::string& root = model_.root_key();
    if (root.empty())
        return;
    wait_cursor busy;
    model_.load();
    store_.subscribe_subtree(root, this);
    subscribed_ = true;
    QModelIndex first = model_.index(0, 0);
    if (first.isValid()) {
        if (model_.canFetchMore(first))
            model_.fetchMore(first);
        tree_->expand(first);
    }
    pending_key_ = store_.current(root[0]);
    choose(pending_key_);
}

void nx_view_tree::on_changed(const std::string& key) {
    model_.note_changed(key);
    if (editor_ != nullptr && editor_->shows(key))
        editor_refresh_ = true;
}

void nx_view_tree::reselect() {
    std::string key = std::exchange(reselect_key_, {});
    select_index(model_.reveal(key));
}

void nx_view_tree::on_changes_done() {
    std::vector<std::string> inserted;
    in_batch_ = true;
    model_.apply_changes(&inserted);
    in_batch_ = false;
    if (!reselect_key_.empty())
        reselect();
    bool tree_changed = false;
    for (const std::string& key : inserted) {
        QModelIndex parent = model_.index_of(parent_key(key));
        if (parent.isValid())
            tree_->expand(parent);
        t_ref* component = store_.get(key);
        if (component != nullptr && !component->has_flag(flag_transient))
            tree_changed = true;
    }
    if (!pending_key_.empty() && model_.reveal(pending_key_).isValid())
        choose(pending_key_);
    if (tree_changed && editor_ != nullptr)
        editor_->tree_changed();
    if (editor_refresh_) {
        editor_refresh_ = false;
        std::string key = selected_key();
        // A value recalculated by the pass is shown again; it is not an edit to be saved.
        if (editor_ != nullptr && editor_->shows(key))
            editor_->refresh();
    }
}

std::string nx_view_tree::selected_key() const {
    QModelIndexList selected = tree_->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? std::string() : model_.key_of(selected.front());
}

void nx_view_tree::handle_selection() {
    std::string key = selected_key();
    t_ref* component = key.empty() ? nullptr : store_.get(key);
    if (component == nullptr || handling_)
        return;
    handling_ = true;
    store_.set_current(key);
    if (editor_ != nullptr) {
        editor_->show(component);
        if (!editor_->shows(key) && !handled_key_.empty() && editor_->shows(handled_key_)) {
            // The editor kept its component (a value was refused): so does the tree.
            store_.set_current(handled_key_);
            select_index(model_.reveal(handled_key_));
            handling_ = false;
            return;
        }
    }
    handled_key_ = key;
    // The editor may have applied and re-shown; the component is looked up afresh.
    component = store_.get(key);
    if (component != nullptr && status_)
        status_(component->log_file());
    for (auto& listener : listeners_)
        listener(key);
    if (component != nullptr && component->has_flag(flag_expand_on_select))
        tree_->expand(model_.index_of(key));
    handling_ = false;
}

void nx_view_tree::select_index(const QModelIndex& index) {
    if (!index.isValid())
        return;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        tree_->expand(p);
    tree_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    tree_->scrollTo(index);
}

void nx_view_tree::before_rows_removed(const QModelIndex& parent, int first, int last) {
    QModelIndex selected;
    QModelIndexList list = tree_->selectionModel()->selectedIndexes();
    if (!list.isEmpty())
        selected = list.front();
    // Is the selection inside the rows going away?
    QModelIndex row = selected;
    while (row.isValid() && row.parent() != parent)
        row = row.parent();
    if (!row.isValid() || row.row() < first || row.row() > last)
        return;
    QModelIndex next = model_.index(last + 1, 0, parent);
    if (!next.isValid() && first > 0)
        next = model_.index(first - 1, 0, parent);
    reselect_key_ = next.isValid() ? model_.key_of(next) : model_.key_of(parent);
}

bool nx_view_tree::modifier_click(const std::string& key, Qt::KeyboardModifiers modifiers) {
    std::string selected = selected_key();
    bool shift = modifiers.testFlag(Qt::ShiftModifier);
    bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    if ((!shift && !ctrl) || selected.empty() || key == selected ||
        parent_key(key) != parent_key(selected) || key.size() != selected.size()) {
        clear_multi();
        return false;
    }
    std::set<std::string> keys = multi_;
    if (shift) {
        keys.clear();
        const std::string& low = std::min(key, selected);
        const std::string& high = std::max(key, selected);
        for (t_ref* sibling : store_.refs().children(parent_key(key)))
            if (sibling->key() >= low && sibling->key() <= high)
                keys.insert(sibling->key());
    } else {
        keys.insert(selected);
        keys.insert(key);
    }
    set_multi(std::move(keys));
    QModelIndex clicked = model_.index_of(key);
    if (clicked.isValid())
        tree_->selectionModel()->setCurrentIndex(clicked, QItemSelectionModel::NoUpdate);
    return true;
}

void nx_view_tree::clear_multi() {
    if (!multi_.empty())
        set_multi({});
}

void nx_view_tree::set_multi(std::set<std::string> keys) {
    if (keys == multi_)
        return;
    std::set<std::string> dropped;
    for (const std::string& key : multi_)
        if (keys.count(key) == 0)
            dropped.insert(key);
    if (!dropped.empty())
        nx_log::main().mes("Отмена выбора компонентов:" + key_lines(dropped));
    if (!keys.empty())
        nx_log::main().mes("Выбраны компоненты:" + key_lines(keys));
    multi_ = std::move(keys);
    model_.set_marked(multi_);
}

bool nx_view_tree::drop_allowed(const std::string& dragged, const std::string& target) const {
    return !dragged.empty() && !target.empty() && dragged != target &&
           parent_key(dragged) == parent_key(target) && store_.get(dragged) != nullptr &&
           store_.get(target) != nullptr;
}

bool nx_view_tree::drop(const std::string& dragged, const std::string& target) {
    if (!drop_allowed(dragged, target))
        return false;
    target_key_ = target;
    bool moved = move(store_, dragged, target);
    target_key_.clear();
    if (!moved)
        return false;
    clear_multi();
    // The moved component now has the target's key; the node there shows it.
    QModelIndex index = model_.reveal(target);
    if (index.isValid()) {
        if (selected_key() == target)
            handle_selection();
        else
            select_index(index);
    }
    if (editor_ != nullptr)
        editor_->tree_changed();
    return true;
}

bool nx_view_tree::find_next(const std::string& text, bool forward) {
    std::string from = selected_key();
    std::string found = find_component(store_, model_.root_key(), from, text, forward);
    if (find_field_ != nullptr)
        find_field_->setStyleSheet(found.empty() && !text.empty()
                                       ? QStringLiteral("QLineEdit { background: #f6c6c6; }")
                                       : QString());
    if (found.empty())
        return false;
    choose(found);
    return true;
}

bool nx_view_tree::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tree_->viewport())
        return viewport_event(event);
    if (watched == tree_ || watched == find_field_)
        return key_event(watched == tree_, event);
    return false;
}

bool nx_view_tree::key_event(bool in_tree, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F3) {
        if (find_field_ != nullptr)
            find_next(find_field_->text().toStdString(),
                      !key->modifiers().testFlag(Qt::ShiftModifier));
        return true;
    }
    if (key->modifiers() == Qt::ControlModifier && key->key() == Qt::Key_F &&
        find_field_ != nullptr) {
        find_field_->setFocus();
        find_field_->selectAll();
        return true;
    }
    if (!in_tree || editor_ == nullptr)
        return false;
    if (editor_key(key))
        return true;
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        key->modifiers() == Qt::NoModifier) {
        handle_selection();
        if (!selected_key().empty())
            editor_->focus_grid(static_cast<QWidget*>(tree_));
        return true;
    }
    return false;
}

bool nx_view_tree::viewport_event(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        QModelIndex index = tree_->indexAt(mouse->position().toPoint());
        std::string key = model_.key_of(index);
        if (mouse->button() == Qt::LeftButton) {
            press_key_.clear();
            if (!key.empty() && modifier_click(key, mouse->modifiers()))
                return true;
            press_key_ = key;
            press_pos_ = mouse->position().toPoint();
            return false;
        }
        if (mouse->button() == Qt::RightButton && editor_ != nullptr) {
            if (!multi_.empty()) {
                editor_->selection_menu(multi());
                return true;
            }
            if (!index.isValid())
                return true;
            if (key != selected_key()) {
                // Selecting would apply the shown component's pending edits as a side effect
                // of opening a menu: with edits pending the click does nothing.
                if (actions_.edits_pending && actions_.edits_pending())
                    return true;
                select_index(index);
            }
            if (key == selected_key() && editor_->shows(key))
                editor_->context_menu();
            return true;
        }
        return false;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!mouse->buttons().testFlag(Qt::LeftButton) || press_key_.empty())
            return false;
        QPoint pos = mouse->position().toPoint();
        if (!dragging_) {
            if ((pos - press_pos_).manhattanLength() < QApplication::startDragDistance())
                return false;
            dragging_ = true;
            drag_key_ = press_key_;
            drag_image_ = new QLabel(tree_->viewport());
            drag_image_->setText(model_.data(model_.index_of(drag_key_)).toString());
            drag_image_->setStyleSheet(QStringLiteral("background: white; color: black;"));
            drag_image_->adjustSize();
            drag_image_->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        drag_image_->move(pos + QPoint(16, 16));
        drag_image_->show();
        drop_key_ = model_.key_of(tree_->indexAt(pos));
        model_.set_drop_target(drop_key_);
        tree_->viewport()->setCursor(drop_allowed(drag_key_, drop_key_) ? Qt::ArrowCursor
                                                                        : Qt::ForbiddenCursor);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        if (!dragging_)
            return false;
        std::string from = drag_key_;
        std::string to = drop_key_;
        end_drag();
        drop(from, to);
        return true;
    }
    case QEvent::Leave:
        model_.set_drop_target({});
        return false;
    default:
        return false;
    }
}

bool nx_view_tree::editor_key(QKeyEvent* key) {
    const std::string selected = selected_key();
    const auto modifiers = key->modifiers() & ~Qt::KeypadModifier;
    const bool shows = !selected.empty() && editor_->shows(selected);
    if ((key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier) ||
        (key->key() == Qt::Key_Menu && modifiers == Qt::NoModifier)) {
        if (!multi_.empty())
            editor_->selection_menu(multi());
        else if (shows)
            editor_->context_menu();
        return true;
    }
    if (key->key() == Qt::Key_Delete && modifiers == Qt::NoModifier) {
        // The same questions as the menus ask.
        if (!multi_.empty()) {
            if (actions_.delete_marked)
                actions_.delete_marked(multi());
        } else if (shows && actions_.can_delete && actions_.can_delete()) {
            editor_->delete_current();
        }
        return true;
    }
    if (modifiers == Qt::ControlModifier && (key->key() == Qt::Key_C || key->key() == Qt::Key_V)) {
        if (shows && actions_.node_command)
            actions_.node_command(key->key() == Qt::Key_C ? copy_command : paste_command);
        return true;
    }
    if (key->key() == Qt::Key_F2 && modifiers == Qt::NoModifier) {
        if (shows && actions_.open_first_row)
            actions_.open_first_row(static_cast<QWidget*>(tree_));
        return true;
    }
    return false;
}

void nx_view_tree::end_drag() {
    dragging_ = false;
    press_key_.clear();
    drag_key_.clear();
    drop_key_.clear();
    model_.set_drop_target({});
    delete drag_image_;
    drag_image_ = nullptr;
    tree_->viewport()->unsetCursor();
}

} // namespace nxkit
