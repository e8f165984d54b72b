#pragma once

#include "config/t_ref.h"
#include "views/i_ref_editor.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeView;

namespace nxkit {

class i_viewer;
class nx_view_tree;
class t_ref_buff;

// Layout figures of an editor panel.
inline constexpr int editor_min_width = 290;
// The parameter section's height for VIEW/EDITLINE (limited to 4..15 lines).
int parameter_section_height(int editline);
// The panel width after dragging its splitter bar by `dx` pixels (never below 290).
int panel_width_after_drag(int width, int dx);
// The value column's width for a grid of `grid_width` whose name column is `name_width`;
// a negative result brings both columns back to 139 and 144 (returned as -1).
int value_column_width(int grid_width, int name_width);

// The configuration editor panel of one branch: the find field and the tree (driven by the
// tree view), and below them the parameter section with the active box, the grid of the
// current component's parameters, and "Удалить", "Отменить", "Применить". Everything goes
// through the component contract; the editor knows no component class.
class nx_ref_editor : public QWidget, public i_ref_editor {
    Q_OBJECT
public:
    nx_ref_editor(t_ref_buff& store, QWidget* parent = nullptr);
    ~nx_ref_editor() override;

    // Builds the settings keys of `name` ("devs", "strs", "schema") and reads the width.
    void place(const std::string& name);
    const std::string& name() const { return name_; }
    void show_panel(bool visible);
    void show_grid(bool visible);
    bool grid_shown() const { return grid_shown_; }
    void set_viewer(i_viewer* viewer) { viewer_ = viewer; }
    // Called after every change the editor makes, besides marking the configuration changed
    // (which drives the main window's save button).
    void set_save_enabler(std::function<void()> enable) { save_enabler_ = std::move(enable); }
    // Opens the trend window of a signal key; with it, telemeasurements and telesignals offer
    // "График" in the node menu.
    void set_trend_opener(std::function<void(const std::string&)> open) {
        trend_opener_ = std::move(open);
    }
    // Empties the tree's multi-selection after it was deleted.
    void set_multi_clear(std::function<void()> clear) { multi_clear_ = std::move(clear); }

    // The log font of the shared resources: the grid and its row editors.
    void set_log_font(const QFont& font);

    QTreeView* tree() const { return tree_; }
    QLineEdit* find_field() const { return find_; }
    int panel_width() const { return width_; }
    void set_panel_width(int width);

    // i_ref_editor
    void refresh() override;
    void show(t_ref* component) override;
    void apply() override;
    void set_modified(bool enable, bool force) override;
    void delete_current() override;
    void focus_grid(void* return_to) override;
    bool shows(const std::string& key) const override;
    void cancel() override;
    void tree_changed() override;
    void context_menu() override;
    void selection_menu(const std::vector<std::string>& keys) override;
    void changed(long a, long b) override;

    // Row editing (Enter in the grid or a click on a row).
    void begin_row_edit();
    void end_row_edit(bool commit);
    // Ends the edit with commit when the component can hold the typed value; otherwise shows
    // why and keeps the editor open on the row (Enter, Up, Down). False when refused.
    bool commit_row_edit();
    // Why `text` cannot go into `row` ("" when it can): characters Windows-1251 lacks, or the
    // component's own refusal.
    std::string entry_refusal(int row, const std::string& text);
    // Whether "Удалить" is allowed for the component shown.
    bool can_delete() const;
    // The node menu's commands, also reached by the tree's keys (Del, Ctrl+C, Ctrl+V).
    void run_node_command(int command);
    // F2: the grid's first row opened for editing.
    void open_first_row(void* return_to);
    // "Удалить" of the multi-selection menu (also the Del key on a multi-selection).
    void delete_marked_keys(const std::vector<std::string>& keys);
    // The grid row menu of a row (right button).
    void row_menu(int row);

    // What tests and the screenshots look at.
    t_ref* current() const;
    int row_count() const;
    std::string row_name(int row) const;
    std::string row_text(int row) const;
    void set_row_text(int row, const std::string& text);
    int current_row() const { return current_row_; }
    void set_current_row(int row);
    bool editing() const { return editing_; }
    int open_kind() const { return open_kind_; }
    QWidget* open_editor() const;
    QCheckBox* active_box() const { return active_; }
    QPushButton* apply_button() const { return apply_; }
    QPushButton* cancel_button() const { return cancel_; }
    QPushButton* delete_button() const { return delete_; }
    QTableWidget* grid() const { return grid_; }
    QComboBox* list_editor() const { return list_; }
    QComboBox* combo_editor() const { return combo_; }
    QLineEdit* text_editor() const { return text_; }
    QPushButton* button_editor() const { return button_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Sets the rows into the component; on a refused value restores what was set and
    // reports it. False when refused.
    bool apply_rows(t_ref& component);
    // apply(); false when a value was refused (the component stays shown with its edits).
    bool apply_edits();
    void reopen_refused(int row, const std::string& message);
    void add_children(int type, int count);
    void place_row_editor();
    bool grid_key(QEvent* event);
    bool row_editor_key(QObject* watched, QEvent* event);
    void on_apply_clicked();
    void on_active_toggled();
    void enable_save();
    void fit_columns();
    void show_error(const std::string& text);

    t_ref_buff& store_;
    std::string name_;
    std::string shown_key_;
    const t_ref* shown_ = nullptr;
    std::function<void(const std::string&)> trend_opener_;
    std::function<void()> save_enabler_;
    std::function<void()> multi_clear_;
    i_viewer* viewer_ = nullptr;

    QLineEdit* find_ = nullptr;
    QTreeView* tree_ = nullptr;
    QWidget* section_ = nullptr;
    QCheckBox* active_ = nullptr;
    QTableWidget* grid_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* apply_ = nullptr;
    QWidget* splitter_ = nullptr;
    // The four row editors, children of the grid.
    QPushButton* button_ = nullptr;
    QComboBox* list_ = nullptr;
    QComboBox* combo_ = nullptr;
    QLineEdit* text_ = nullptr;

    QWidget* return_to_ = nullptr;
    int current_row_ = 0;
    bool editing_ = false;
    int open_kind_ = -1;
    bool modified_ = false;
    bool read_only_ = false;
    bool grid_shown_ = true;
    bool panel_shown_ = true;
    int width_ = editor_min_width;
    int drag_x_ = 0;
    bool ending_ = false;
    bool apply_before_edit_ = false;
    std::string text_before_edit_;
    // The values shown, to put back when a value is refused halfway through an apply.
    std::vector<std::string> stored_;
};

// Binds a tree view and its editor panel to each other.
void bind_tree(nx_ref_editor& editor, nx_view_tree& view);

} // namespace nxkit
