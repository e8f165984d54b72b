#pragma once

#include "archive/archive_sink.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "config/interfaces.h"
#include "platform/beep_player.h"
#include "views/journal_archive_model.h"
#include "views/journal_model.h"

#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <utility>

class QAction;
class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;
class QWidget;

namespace nxkit {

class t_ref;
struct reported_state;
class t_ref_buff;

// The event journal: every change of a telesignal's position or quality becomes a line of
// the list and of "mes.log", sounds a beep, and waits for the operator's acknowledgement.
// The list keeps at most 10000 lines; a filter line narrows what is shown, which can be saved
// as CSV or printed.
class nx_view_mes : public QObject, public i_observer, public i_viewer {
    Q_OBJECT
public:
    // The four navigation buttons: next, last, previous, first (enabled here; the main window
    // routes their commands to navigate).
    using buttons = std::array<QAction*, 4>;

    nx_view_mes(t_ref_buff& store, QWidget* parent, buttons navigation,
                std::size_t bound = journal_model::default_bound);
    ~nx_view_mes() override;

    // The pane the main window docks: the filter line above the list.
    QWidget* pane() const { return pane_; }
    QTableView* list() const { return list_; }
    journal_model& model() { return model_; }
    journal_filter_model& shown() { return shown_; }

    void set_prefix(const std::string& prefix) { prefix_ = prefix; }
    // Every line and acknowledgement goes into the archive too (none: no archive).
    void set_archive(i_archive_sink* archive) { archive_ = archive; }
    // The archive the "Архив" search reads (none: the button is hidden).
    void set_archive_reader(archive_reader* reader);
    // "Архив" pressed: the list shows the archive's events that match the filter, page by page;
    // released: the journal's own lines again.
    void set_archive_mode(bool on);
    bool archive_mode() const { return archive_mode_; }
    journal_archive_model& archive_model() { return archive_model_; }
    // The status line of the search ("найдено 500+", "поиск...", the reason of a failure).
    QString archive_status() const;
    void set_icon_source(std::function<QIcon(int)> icons);
    // Opens the trend window of a signal key ("График" in a line's menu).
    void set_trend_opener(std::function<void(const std::string&)> open) {
        trend_opener_ = std::move(open);
    }
    // The log font of the shared resources for the list (rows follow its height).
    void set_log_font(const QFont& font);

    // i_observer
    void on_changed(const std::string& key) override;
    void on_changes_done() override;
    // i_viewer
    void on_load() override;

    // 1 next line, 2 last line, 3 previous line, 4 first line (rows as shown).
    void navigate(int command);
    // 1 acknowledge the row (of the whole journal), 2 acknowledge all, 3 delete acknowledged,
    // 4 delete all.
    void run(int command, int row);
    // The popup menu of a shown row, its choice run with that row.
    void row_menu(int shown_row);
    void update_buttons();

    void set_filter(const journal_filter& filter);
    // Writes the shown lines as CSV; false (and an error box) when the file cannot be written.
    bool export_csv(const std::string& path);
    // Asks for a file and writes the shown lines into it.
    void export_csv_asked();
    // Prints the shown lines through the print dialog.
    void print_asked();

    int line_number() const { return line_number_; }
    // Waits until the beep in progress and its pause are over.
    void wait_beep_idle() { beeper_.wait_idle(); }

private:
    // A line of the signal's settled state, or of a state its device reported with a time tag.
    void add_line(t_ref& signal, const reported_state* reported = nullptr);
    void archive_line(const journal_line& line, const t_ref& signal);
    // The lines of one pass reach the list together at its end.
    void flush_lines();
    void select_shown(int row);
    int selected_shown_row() const;
    void filter_edited();
    journal_filter filter_of_fields() const;
    QAbstractItemModel* list_model() const;
    void connect_selection();

    t_ref_buff& store_;
    std::string prefix_ = "K";
    i_archive_sink* archive_ = nullptr;
    std::map<std::string, std::pair<bool, std::uint32_t>> last_seen_;
    nx_log journal_;
    bool journal_failed_ = false;
    int line_number_ = 0;
    std::vector<journal_line> pending_;
    // Their archive rows (when there is an archive), and whether a reported state is among them.
    std::vector<archive_row> pending_rows_;
    bool pass_reported_ = false;
    int beep_frequency_ = 0;
    int beep_duration_ = 0;
    int beep_pause_ = 0;
    buttons buttons_;
    journal_model model_;
    journal_filter_model shown_;
    std::function<QIcon(int)> icons_;
    std::function<void(const std::string&)> trend_opener_;
    QWidget* pane_ = nullptr;
    QTableView* list_ = nullptr;
    QTimer* repaint_timer_ = nullptr;
    QLineEdit* text_edit_ = nullptr;
    QLineEdit* signal_edit_ = nullptr;
    QCheckBox* unacknowledged_box_ = nullptr;
    QCheckBox* from_box_ = nullptr;
    QCheckBox* to_box_ = nullptr;
    QDateTimeEdit* from_edit_ = nullptr;
    QDateTimeEdit* to_edit_ = nullptr;
    journal_archive_model archive_model_;
    bool archive_mode_ = false;
    QPushButton* archive_button_ = nullptr;
    QLabel* archive_label_ = nullptr;
    QTimer* archive_timer_ = nullptr;
    beep_player beeper_;
};

// The archive search of a journal filter: the same text, signal, acknowledgement and range.
archive_query archive_query_of(const journal_filter& filter);

// The popup menu of a journal line; with a filter set, "all" means the lines shown. With
// `trend` (the line's signal is a telemeasurement or a telesignal and trends can be opened)
// it ends with "График" (5).
std::vector<menu_item> journal_row_menu(bool filtered, bool trend = false);

// The journal file's line text: a tab, then key, state, time, input and name separated by
// tabs.
std::string journal_file_text(const journal_line& line);

// The name the archive keeps for a signal: its title, then " (" + its parent's title + ")".
std::string archive_signal_name(t_ref& signal);

// nx_time and QDateTime (local time) into each other.
nx_time to_nx_time(const QDateTime& t);

} // namespace nxkit
