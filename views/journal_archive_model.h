#pragma once

// The journal's archive search: the events of the archive that match the filter, as the
// journal's columns, fetched a page at a time on the reader's thread as the list scrolls, so
// the interface thread never waits for the database however many rows match.

#include "archive/archive_reader.h"
#include "archive/archive_record.h"
#include "views/journal_model.h"

#include <QAbstractTableModel>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace nxkit {

// An archive event as a journal line: number `number`, "<" when acknowledged, the picture of
// its state, the time in the journal's form.
journal_line archive_journal_line(const archive_found& found, int number);

class journal_archive_model : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int page_size = 500;

    explicit journal_archive_model(QObject* parent = nullptr);
    ~journal_archive_model() override;

    void set_reader(archive_reader* reader) { reader_ = reader; }
    // A new search: the rows go and the first page is asked for.
    void set_query(const archive_query& query);
    const archive_query& query() const { return query_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    const journal_line& line(int row) const { return lines_[static_cast<std::size_t>(row)]; }
    std::vector<const journal_line*> lines() const;
    // A page is on its way.
    bool loading() const { return loading_; }
    // Every matching row is here.
    bool complete() const { return at_end_; }
    // Why the last page failed ("" when it did not).
    const std::string& error() const { return error_; }

    void set_icons(std::function<QIcon(journal_image)> icons) { icons_ = std::move(icons); }

    // Writes every matching row as the journal's CSV on the reader's thread; `done` gets the
    // row count, or -1 and the reason, on the interface thread.
    void export_csv(const std::string& path,
                    std::function<void(long long rows, const std::string& error)> done);

signals:
    // A page arrived (or failed): the status line follows.
    void page_arrived();

private:
    void request();
    void take_page(unsigned generation, std::vector<archive_found> found, std::string error);

    // Lets a job of the reader reach the model while it exists, and never after.
    struct bridge {
        std::mutex lock;
        journal_archive_model* model = nullptr;
    };

    archive_reader* reader_ = nullptr;
    std::shared_ptr<bridge> bridge_;
    archive_query query_;
    archive_cursor cursor_;
    std::vector<journal_line> lines_;
    unsigned generation_ = 0;
    bool loading_ = false;
    bool at_end_ = true;
    std::string error_;
    std::function<QIcon(journal_image)> icons_;
};

} // namespace nxkit
