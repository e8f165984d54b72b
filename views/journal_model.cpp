#include "views/journal_model.h"

#include <algorithm>

#include <QIcon>

#include <array>

namespace nxkit {

namespace {

struct column_spec {
    const char* title;
    int width;
};

constexpr std::array<column_spec, journal_model::columns> column_specs{{
    {"номер", 80},
    {"сигнал", 100},
    {"значение", 120},
    {"ввод", 55},
    {"время", 180},
    {"Журнал событий", 800},
}};

// ISO 8601 local time with milliseconds.
std::string iso_time(nx_time t) {
    return time_format(t, "%Y-%m-%dT%H:%M:%S.%V");
}

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

const char* journal_column_title(int column) {
    return column_specs.at(static_cast<std::size_t>(column)).title;
}

int journal_column_width(int column) {
    return column_specs.at(static_cast<std::size_t>(column)).width;
}

QString journal_column_text(const journal_line& line, int column) {
    switch (column) {
    case 0:
        return (line.acknowledged ? QStringLiteral("<") : QString()) + QString::number(line.number);
    case 1:
        return line.key;
    case 2:
        return line.state;
    case 3:
        return line.input;
    case 4:
        return line.time_text;
    case 5:
        return line.name;
    default:
        return {};
    }
}

bool journal_filter::empty() const {
    return text.isEmpty() && signal.isEmpty() && !only_unacknowledged && from == 0 && to == 0;
}

bool journal_filter::matches(const journal_line& line) const {
    if (only_unacknowledged && line.acknowledged)
        return false;
    if (from != 0 && line.time < from)
        return false;
    if (to != 0 && line.time > to)
        return false;
    if (!signal.isEmpty() && !line.key.startsWith(signal, Qt::CaseInsensitive))
        return false;
    if (text.isEmpty())
        return true;
    for (const QString* part : {&line.name, &line.state, &line.key, &line.input, &line.time_text})
        if (part->contains(text, Qt::CaseInsensitive))
            return true;
    return false;
}

std::string journal_csv(const std::vector<const journal_line*>& lines) {
    std::string out = "номер,квитировано,сигнал,значение,ввод,время,событие\r\n";
    for (const journal_line* line : lines) {
        out += std::to_string(line->number) + ',' + (line->acknowledged ? "да" : "нет") + ',' +
               csv_field(line->key.toStdString()) + ',' + csv_field(line->state.toStdString()) +
               ',' + csv_field(line->input.toStdString()) + ',' + iso_time(line->time) + ',' +
               csv_field(line->name.toStdString()) + "\r\n";
    }
    return out;
}

journal_model::journal_model(std::size_t bound, QObject* parent)
    : QAbstractTableModel(parent), bound_(bound == 0 ? 1 : bound) {}

int journal_model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int journal_model::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns;
}

QVariant journal_model::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const journal_line& l = line(index.row());
    if (role == Qt::DisplayRole)
        return journal_column_text(l, index.column());
    if (role == Qt::DecorationRole && index.column() == 0 && l.image != journal_image::none &&
        icons_)
        return icons_(l.image);
    return {};
}

QVariant journal_model::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < columns)
        return QString::fromUtf8(journal_column_title(section));
    return {};
}

void journal_model::append(journal_line line) {
    if (lines_.size() >= bound_) {
        beginRemoveRows({}, 0, 0);
        lines_.pop_front();
        endRemoveRows();
    }
    int row = static_cast<int>(lines_.size());
    beginInsertRows({}, row, row);
    lines_.push_back(std::move(line));
    endInsertRows();
}

void journal_model::append(std::vector<journal_line> lines) {
    if (lines.empty())
        return;
    if (lines.size() > bound_)
        lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(bound_));
    std::size_t room = bound_ - std::min(bound_, lines_.size());
    if (lines.size() > room) {
        int drop = static_cast<int>(lines.size() - room);
        beginRemoveRows({}, 0, drop - 1);
        lines_.erase(lines_.begin(), lines_.begin() + drop);
        endRemoveRows();
    }
    int first = static_cast<int>(lines_.size());
    beginInsertRows({}, first, first + static_cast<int>(lines.size()) - 1);
    for (journal_line& line : lines)
        lines_.push_back(std::move(line));
    endInsertRows();
}

bool journal_model::acknowledge(int row) {
    if (row < 0 || row >= rowCount())
        return false;
    journal_line& l = lines_[static_cast<std::size_t>(row)];
    if (l.acknowledged)
        return false;
    l.acknowledged = true;
    if (l.image == journal_image::on)
        l.image = journal_image::on_ack;
    else if (l.image == journal_image::off)
        l.image = journal_image::off_ack;
    emit dataChanged(index(row, 0), index(row, 0));
    return true;
}

int journal_model::row_of(int number) const {
    auto at = std::lower_bound(lines_.begin(), lines_.end(), number,
                               [](const journal_line& l, int n) { return l.number < n; });
    if (at == lines_.end() || at->number != number)
        return -1;
    return static_cast<int>(at - lines_.begin());
}

void journal_model::remove_lines(const std::vector<int>& numbers) {
    std::vector<int> rows;
    for (int number : numbers)
        if (int row = row_of(number); row >= 0)
            rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    // Runs of rows in one removal each, from the end, so the rows before stay valid.
    std::size_t i = rows.size();
    while (i > 0) {
        std::size_t first = i - 1;
        while (first > 0 && rows[first - 1] == rows[first] - 1)
            --first;
        int low = rows[first];
        int high = rows[i - 1];
        beginRemoveRows({}, low, high);
        lines_.erase(lines_.begin() + low, lines_.begin() + high + 1);
        endRemoveRows();
        i = first;
    }
}

void journal_model::remove_acknowledged() {
    // Runs of acknowledged lines go in one removal each, from the end, so rows stay valid.
    int row = rowCount() - 1;
    while (row >= 0) {
        if (!line(row).acknowledged) {
            --row;
            continue;
        }
        int last = row;
        while (row >= 0 && line(row).acknowledged)
            --row;
        beginRemoveRows({}, row + 1, last);
        lines_.erase(lines_.begin() + row + 1, lines_.begin() + last + 1);
        endRemoveRows();
    }
}

void journal_model::remove_all() {
    beginResetModel();
    lines_.clear();
    endResetModel();
}

journal_filter_model::journal_filter_model(journal_model& source, QObject* parent)
    : QSortFilterProxyModel(parent), source_(source) {
    setSourceModel(&source);
}

void journal_filter_model::set_filter(const journal_filter& filter) {
    filter_ = filter;
    invalidateRowsFilter();
}

std::vector<const journal_line*> journal_filter_model::shown_lines() const {
    std::vector<const journal_line*> out;
    out.reserve(static_cast<std::size_t>(rowCount()));
    for (int r = 0; r < rowCount(); ++r)
        out.push_back(&source_.line(mapToSource(index(r, 0)).row()));
    return out;
}

std::vector<int> journal_filter_model::shown_numbers() const {
    std::vector<int> out;
    out.reserve(static_cast<std::size_t>(rowCount()));
    for (int r = 0; r < rowCount(); ++r)
        out.push_back(source_.line(mapToSource(index(r, 0)).row()).number);
    return out;
}

bool journal_filter_model::filterAcceptsRow(int source_row, const QModelIndex&) const {
    return filter_.empty() || filter_.matches(source_.line(source_row));
}

} // namespace nxkit
