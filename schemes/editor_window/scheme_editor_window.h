#pragma once

// The scheme editor's window: one .sde file, its pages, a palette of every element type, the
// drawing area, the properties of the selection and the list of check findings. It runs
// beside the live display; the host tells it how to bind, what the configuration knows and
// what to do after a save.

#include "schemes/editor_window/editor_canvas.h"
#include "schemes/editor_window/editor_session.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QListWidget;
class QTableWidget;
class QLabel;

namespace nxkit {

// The entries of the palette: every known element type, in the order the scheme knows them.
std::vector<std::string> palette_types();
// A picture of the type's symbol in its first state, `size` pixels square.
QImage palette_icon(const std::string& type_name, int size);

// The texts of the window's questions and messages.
std::string changed_on_disk_question(const std::string& path);
std::string save_failed_message(const std::string& detail);
std::string unsaved_question(const std::string& path);

class scheme_editor_window : public QMainWindow {
    Q_OBJECT
public:
    // Opens `path`; a broken file raises nx_exception before any window exists.
    explicit scheme_editor_window(const std::string& path, QWidget* parent = nullptr);
    scheme_editor_window(scheme_document document, const std::string& path,
                         QWidget* parent = nullptr);
    ~scheme_editor_window() override;

    // What the configuration knows of this scheme (checks against it); none: the file only.
    using references_source = std::function<std::optional<scheme_references>()>;
    void set_references(references_source source) { references_ = std::move(source); }
    // Runs the bind dialog on the objects with these counters; without it "Привязать…" is off.
    using bind_function = std::function<void(const std::vector<int>& counters)>;
    void set_bind(bind_function bind);
    // Called after every successful save with the file's path (the display reopens it).
    void set_on_saved(std::function<void(const std::string&)> saved) {
        on_saved_ = std::move(saved);
    }

    // Saves; asks before overwriting a file changed on disk; says why a save failed. True
    // when the file holds the document now.
    bool save();
    // Fills the check list; the number of findings.
    std::size_t run_checks();
    void copy();
    void paste();

    editor_session& session() { return session_; }
    editor_canvas* canvas() const { return canvas_; }
    QListWidget* palette() const { return palette_; }
    QListWidget* pages() const { return pages_; }
    QTableWidget* properties() const { return properties_; }
    QListWidget* findings() const { return findings_; }
    QAction* action(const std::string& name) const;
    const std::string& path() const { return path_; }
    // Refreshes the page list, the panel and the title after a change.
    void refresh();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void add_action(const std::string& name, const QString& text, const QKeySequence& keys,
                    std::function<void()> run, QMenu* menu, QToolBar* bar = nullptr);
    void run(const std::function<void()>& operation);
    void fill_properties();
    void property_edited(int row, int column);
    void finding_chosen(int row);
    void update_actions();
    void add_page();
    void delete_page();
    void rename_page(int row);
    void move_page(int by);

    editor_session session_;
    std::string path_;
    editor_canvas* canvas_ = nullptr;
    QListWidget* palette_ = nullptr;
    QListWidget* pages_ = nullptr;
    QTableWidget* properties_ = nullptr;
    QListWidget* findings_ = nullptr;
    QLabel* status_ = nullptr;
    std::map<std::string, QAction*> actions_;
    std::vector<scheme_finding> shown_findings_;
    references_source references_;
    bind_function bind_;
    std::function<void(const std::string&)> on_saved_;
    bool filling_ = false;
    bool fitted_ = false;
};

} // namespace nxkit
