#pragma once

#include "config/interfaces.h"
#include "views/ref_tree_model.h"
#include "views/tree_icons.h"

#include <QObject>
#include <QPoint>

#include <functional>
#include <set>
#include <string>
#include <vector>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QTreeView;

namespace nxkit {

class i_ref_editor;
class t_ref_buff;

// The label mode of tree nodes (VIEW/NUM), read once at start-up.
int tree_label_mode_setting();

// What the tree's keys and clicks ask of the editor beyond i_ref_editor.
struct tree_editor_actions {
    std::function<bool()> edits_pending; // values typed and not yet applied
    std::function<bool()> can_delete;    // "Удалить" allowed for the component shown
    std::function<void(const std::vector<std::string>&)> delete_marked;
    std::function<void(int)> node_command; // a node menu command (copy, paste)
    std::function<void(void*)> open_first_row;
};

// One branch of the configuration ("D", "K" or "S") in a tree control: the navigation side of
// the configuration editor. It follows every change of the branch in one batch per update
// pass, selects components for the editor, offers sibling multi-selection with Shift and Ctrl,
// reorders siblings by dragging, and finds components by name, key or signal key.
class nx_view_tree : public QObject, public i_observer, public i_viewer {
    Q_OBJECT
public:
    nx_view_tree(t_ref_buff& store, QTreeView* tree, int label_mode, QObject* parent = nullptr);
    ~nx_view_tree() override;

    void set_editor(i_ref_editor* editor) { editor_ = editor; }
    void set_editor_actions(tree_editor_actions actions) { actions_ = std::move(actions); }
    void set_root_key(const std::string& key);
    const std::string& root_key() const { return model_.root_key(); }
    // Shows a text for the selected node (the component's log file name).
    void set_status(std::function<void(const std::string&)> status) { status_ = std::move(status); }
    void set_icon_source(tree_icon_source source);
    // Told the key of every selected node.
    void add_selection_listener(std::function<void(const std::string&)> listener);
    // Enter (and F3) in the field finds the next match, Shift+F3 the previous one.
    void attach_find_field(QLineEdit* field);

    // i_viewer
    void choose(const std::string& key) override;
    void on_unload() override;
    void on_load() override;
    // i_observer
    void on_changed(const std::string& key) override;
    void on_changes_done() override;

    ref_tree_model& model() { return model_; }
    QTreeView* tree() const { return tree_; }
    std::string selected_key() const;
    const std::string& pending_key() const { return pending_key_; }
    // The multi-selection in key order.
    std::vector<std::string> multi() const { return {multi_.begin(), multi_.end()}; }

    // A click with Shift or Ctrl on a node: true when it changed the multi-selection (the click
    // then goes no further). A plain click, or one on a node of another parent, clears it.
    bool modifier_click(const std::string& key, Qt::KeyboardModifiers modifiers);
    void clear_multi();

    // Dragging: only onto another sibling of the dragged node.
    bool drop_allowed(const std::string& dragged, const std::string& target) const;
    // Moves the dragged component to the target's place; true when it moved.
    bool drop(const std::string& dragged, const std::string& target);
    bool dragging() const { return dragging_; }

    // Selects the next (or previous) component matching `text`; false when none matches.
    bool find_next(const std::string& text, bool forward);

    // The selected node handled again: current component, editor, status, listeners.
    void handle_selection();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void select_index(const QModelIndex& index);
    void reselect();
    void before_rows_removed(const QModelIndex& parent, int first, int last);
    void set_multi(std::set<std::string> keys);
    bool viewport_event(QEvent* event);
    bool key_event(bool in_tree, QEvent* event);
    // Del, Ctrl+C, Ctrl+V, F2, Shift+F10 and the menu key on the selected node.
    bool editor_key(QKeyEvent* key);
    void end_drag();

    t_ref_buff& store_;
    QTreeView* tree_;
    ref_tree_model model_;
    i_ref_editor* editor_ = nullptr;
    tree_editor_actions actions_;
    // The key the editor was last given: the selection goes back to it when the editor
    // keeps its component (a refused value).
    std::string handled_key_;
    std::function<void(const std::string&)> status_;
    std::vector<std::function<void(const std::string&)>> listeners_;
    std::string pending_key_;
    std::string reselect_key_;
    bool editor_refresh_ = false;
    bool subscribed_ = false;
    bool handling_ = false;
    bool in_batch_ = false;
    std::set<std::string> multi_;
    QLineEdit* find_field_ = nullptr;

    // Drag state.
    QPoint press_pos_;
    std::string press_key_;
    bool dragging_ = false;
    std::string drag_key_;
    std::string drop_key_;
    std::string target_key_;
    QLabel* drag_image_ = nullptr;
};

} // namespace nxkit
