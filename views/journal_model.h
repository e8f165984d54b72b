#pragma once

#include "base/nx_time.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QString>

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace nxkit {

// The picture of a journal line: none, the signal on or off, acknowledged or not.
enum class journal_image { none, on, off, on_ack, off_ack };

// One line of the event journal as the list shows it.
struct journal_line {
    int number = 0;
    bool acknowledged = false;
    journal_image image = journal_image::none;
    QString key;
    QString state;
    QString input;
    nx_time time = 0;
    QString time_text;
    QString name;
};

// The texts of the six columns: number ("<" before an acknowledged one), signal, state,
// input, time, name.
QString journal_column_text(const journal_line& line, int column);

// What the operator narrows the journal to; empty parts match everything.
struct journal_filter {
    QString text;   // anywhere in the line, without regard to case
    QString signal; // the beginning of the signal key
    bool only_unacknowledged = false;
    nx_time from = 0; // 0: open
    nx_time to = 0;   // 0: open

    bool empty() const;
    bool matches(const journal_line& line) const;
};

// The lines as a CSV file: UTF-8, a header row, times in ISO 8601, fields quoted when they
// hold a separator, a quote or a line end; lines end with CR LF.
std::string journal_csv(const std::vector<const journal_line*>& lines);

// The journal's lines in a bounded ring: the line that makes it longer than the bound pushes
// the oldest out. Columns and texts as the journal pane shows them.
class journal_model : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int columns = 6;
    static constexpr std::size_t default_bound = 10000;

    explicit journal_model(std::size_t bound = default_bound, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Adds a line at the end, dropping the first when the bound is passed.
    void append(journal_line line);
    // The same for several lines at once: one removal and one insertion, however many, so a
    // busy pass does not make the views walk every row once per line.
    void append(std::vector<journal_line> lines);
    const journal_line& line(int row) const { return lines_[static_cast<std::size_t>(row)]; }
    // Marks a line acknowledged; false when it was already.
    bool acknowledge(int row);
    // The row of the line numbered `number`, -1 when it is no longer in the journal (rows
    // shift as the bound pushes old lines out; numbers stay).
    int row_of(int number) const;
    void remove_acknowledged();
    // Removes the lines with these numbers (those still in the journal).
    void remove_lines(const std::vector<int>& numbers);
    void remove_all();
    std::size_t bound() const { return bound_; }

    // Pictures of the line images (none: no picture).
    void set_icons(std::function<QIcon(journal_image)> icons) { icons_ = std::move(icons); }

private:
    std::size_t bound_;
    std::deque<journal_line> lines_;
    std::function<QIcon(journal_image)> icons_;
};

// The journal as the filter line narrows it.
class journal_filter_model : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit journal_filter_model(journal_model& source, QObject* parent = nullptr);
    void set_filter(const journal_filter& filter);
    const journal_filter& filter() const { return filter_; }
    // The lines shown, in order.
    std::vector<const journal_line*> shown_lines() const;
    // Their numbers, in order.
    std::vector<int> shown_numbers() const;

protected:
    bool filterAcceptsRow(int source_row, const QModelIndex& source_parent) const override;

private:
    journal_model& source_;
    journal_filter filter_;
};

// The column titles and initial widths of the journal list.
const char* journal_column_title(int column);
int journal_column_width(int column);

} // namespace nxkit
