#include "views/journal_archive_model.h"

#include "archive/archive_texts.h"
#include "base/nx_time.h"

#include <QIcon>

#include <fstream>

namespace nxkit {

journal_line archive_journal_line(const archive_found& f, int number) {
    journal_line line;
    line.number = number;
    line.acknowledged = f.kind == archive_kind::change && f.acknowledged;
    if (f.kind == archive_kind::change && f.quality == 0)
        line.image = f.value != 0
                         ? (line.acknowledged ? journal_image::on_ack : journal_image::on)
                         : (line.acknowledged ? journal_image::off_ack : journal_image::off);
    line.key = QString::fromStdString(f.key);
    line.state = QString::fromStdString(f.text);
    line.input =
        (f.quality & quality_manual) != 0 ? QStringLiteral("РУЧНОЙ") : QStringLiteral("авто");
    // An acknowledgement is kept at its line's time; it shows when it was made.
    line.time = archive_nx_time(
        f.kind == archive_kind::acknowledge ? static_cast<std::int64_t>(f.value) : f.time_ms);
    line.time_text = QString::fromStdString(time_format(line.time, "%H:%M:%S.%V %d.%m.%y"));
    line.name = QString::fromStdString(f.name);
    return line;
}

journal_archive_model::journal_archive_model(QObject* parent)
    : QAbstractTableModel(parent), bridge_(std::make_shared<bridge>()) {
    bridge_->model = this;
}

journal_archive_model::~journal_archive_model() {
    std::lock_guard guard(bridge_->lock);
    bridge_->model = nullptr;
}

void journal_archive_model::set_query(const archive_query& query) {
    beginResetModel();
    query_ = query;
    cursor_ = {};
    lines_.clear();
    ++generation_;
    loading_ = false;
    at_end_ = reader_ == nullptr;
    error_.clear();
    endResetModel();
    request();
}

void journal_archive_model::request() {
    if (reader_ == nullptr || loading_ || at_end_)
        return;
    loading_ = true;
    const unsigned generation = generation_;
    const archive_query query = query_;
    const archive_cursor after = cursor_;
    std::shared_ptr<bridge> to = bridge_;
    reader_->post([=](archive_db* db, const std::string& open_error) {
        std::vector<archive_found> found;
        std::string error = open_error;
        if (db != nullptr)
            found = db->search(query, after, page_size, &error);
        std::lock_guard guard(to->lock);
        if (to->model == nullptr)
            return;
        journal_archive_model* model = to->model;
        QMetaObject::invokeMethod(
            model,
            [model, generation, found = std::move(found), error]() mutable {
                model->take_page(generation, std::move(found), error);
            },
            Qt::QueuedConnection);
    });
}

void journal_archive_model::take_page(unsigned generation, std::vector<archive_found> found,
                                      std::string error) {
    if (generation != generation_)
        return;
    loading_ = false;
    error_ = error;
    if (found.size() < static_cast<std::size_t>(page_size))
        at_end_ = true;
    if (!found.empty()) {
        cursor_ = archive_cursor::after(found.back());
        const int first = static_cast<int>(lines_.size());
        beginInsertRows({}, first, first + static_cast<int>(found.size()) - 1);
        for (const archive_found& f : found)
            lines_.push_back(archive_journal_line(f, static_cast<int>(lines_.size()) + 1));
        endInsertRows();
    }
    emit page_arrived();
}

int journal_archive_model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int journal_archive_model::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : journal_model::columns;
}

QVariant journal_archive_model::data(const QModelIndex& index, int role) const {
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

QVariant journal_archive_model::headerData(int section, Qt::Orientation orientation,
                                           int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return QString::fromUtf8(journal_column_title(section));
    return {};
}

bool journal_archive_model::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !at_end_ && !loading_;
}

void journal_archive_model::fetchMore(const QModelIndex& parent) {
    if (!parent.isValid())
        request();
}

std::vector<const journal_line*> journal_archive_model::lines() const {
    std::vector<const journal_line*> out;
    out.reserve(lines_.size());
    for (const journal_line& l : lines_)
        out.push_back(&l);
    return out;
}

void journal_archive_model::export_csv(
    const std::string& path, std::function<void(long long rows, const std::string& error)> done) {
    if (reader_ == nullptr) {
        done(-1, "нет архива");
        return;
    }
    const archive_query query = query_;
    std::shared_ptr<bridge> to = bridge_;
    reader_->post([=](archive_db* db, const std::string& open_error) {
        long long rows = 0;
        std::string error = open_error;
        if (db != nullptr) {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            archive_cursor after;
            bool first = true;
            for (;;) {
                std::vector<archive_found> found = db->search(query, after, 5000, &error);
                std::vector<journal_line> lines;
                lines.reserve(found.size());
                for (const archive_found& f : found)
                    lines.push_back(archive_journal_line(f, static_cast<int>(++rows)));
                std::vector<const journal_line*> refs;
                for (const journal_line& l : lines)
                    refs.push_back(&l);
                std::string text = journal_csv(refs);
                // The header row once, at the top.
                if (!first)
                    text.erase(0, text.find("\r\n") + 2);
                out << text;
                first = false;
                if (found.size() < 5000 || !error.empty())
                    break;
                after = archive_cursor::after(found.back());
            }
            out.close();
            if (out.fail() && error.empty())
                error = "не удалось записать файл '" + path + "'";
        }
        if (!error.empty())
            rows = -1;
        std::lock_guard guard(to->lock);
        if (to->model == nullptr)
            return;
        QMetaObject::invokeMethod(
            to->model, [done, rows, error] { done(rows, error); }, Qt::QueuedConnection);
    });
}

} // namespace nxkit
