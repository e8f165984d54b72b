#include "archive/archive_writer.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QVariant>

#include <chrono>
#include <cstdio>
#include <utility>

namespace nxkit {

namespace {

std::atomic<int> connection_counter{0};

std::string connection_name(const char* what) {
    return std::string("ilk_archive_") + what + "_" + std::to_string(++connection_counter);
}

// Rows moved from the queue to the server per transaction.
constexpr int queue_chunk = 5000;

} // namespace

archive_writer::archive_writer(archive_options options, report_fn report)
    : options_(std::move(options)), report_(std::move(report)) {
    if (!report_)
        report_ = [](const std::string&) {};
    worker_ = std::thread([this] { run(); });
}

archive_writer::~archive_writer() {
    end_pass();
    {
        std::lock_guard guard(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

std::int64_t archive_writer::now_ms() const {
    return options_.clock ? options_.clock() : QDateTime::currentMSecsSinceEpoch();
}

void archive_writer::add(archive_row row) {
    pass_.push_back(std::move(row));
}

void archive_writer::end_pass() {
    if (pass_.empty())
        return;
    bool say = false;
    std::size_t lost = 0;
    {
        std::lock_guard guard(lock_);
        if (pending_rows_ + pass_.size() > options_.max_pending_rows) {
            // The worker is far behind (a stalled disk or server): the pass is lost, not the
            // interface thread's time.
            lost = pass_.size();
            counters_.dropped += static_cast<long long>(lost);
            pass_.clear();
            say = !std::exchange(drop_said_, true);
        } else {
            pending_rows_ += pass_.size();
            batches_.push_back(std::exchange(pass_, {}));
            drop_said_ = false;
        }
    }
    if (say)
        report_("архив: запись отстает, " + std::to_string(lost) + " записей не сохранено");
    wake_.notify_one();
}

bool archive_writer::flush(int timeout_ms) {
    end_pass();
    std::unique_lock guard(lock_);
    return idle_.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                          [this] { return batches_.empty() && !busy_; });
}

void archive_writer::wake_for_retention() {
    {
        std::lock_guard guard(lock_);
        retention_now_ = true;
    }
    wake_.notify_one();
}

archive_counters archive_writer::counters() const {
    std::lock_guard guard(lock_);
    return counters_;
}

void archive_writer::assign_seq(std::vector<archive_row>& rows) {
    for (archive_row& r : rows) {
        if (r.kind == archive_kind::measurement)
            continue;
        auto [it, fresh] = last_.try_emplace(r.key, last_key{r.time_ms, r.kind, 0});
        if (!fresh) {
            if (it->second.t == r.time_ms && it->second.kind == r.kind)
                ++it->second.seq;
            else
                it->second = {r.time_ms, r.kind, 0};
        }
        r.seq = it->second.seq;
    }
}

void archive_writer::set_aside_damaged(const std::string& why) {
    const std::string& file = options_.location.file;
    const std::string stamp =
        QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss").toStdString();
    const std::string aside = file + ".damaged-" + stamp;
    main_.reset();
    bool moved = std::rename(file.c_str(), aside.c_str()) == 0;
    for (const char* tail : {"-wal", "-shm"})
        std::rename((file + tail).c_str(), (aside + tail).c_str());
    {
        std::lock_guard guard(lock_);
        ++counters_.set_aside;
    }
    if (moved)
        report_("архив: файл '" + file + "' поврежден (" + why + "), сохранен как '" + aside +
                "', начат новый");
    else
        report_("архив: файл '" + file + "' поврежден (" + why + ") и не может быть переименован");
}

bool archive_writer::open_main() {
    if (main_ && main_->is_open())
        return true;
    const bool server = options_.location.dialect == archive_dialect::postgresql;
    if (server && now_ms() < next_try_ms_)
        return false;
    main_ = std::make_unique<archive_db>(options_.location, connection_name("writer"));
    std::string error;
    bool damaged = false;
    if (main_->open(error, &damaged)) {
        if (server && unreachable_said_) {
            unreachable_said_ = false;
            report_("архив: сервер '" + options_.location.host + "' снова доступен");
        }
        std::lock_guard guard(lock_);
        counters_.reachable = true;
        return true;
    }
    if (damaged) {
        set_aside_damaged(error);
        main_ = std::make_unique<archive_db>(options_.location, connection_name("writer"));
        if (main_->open(error))
            return true;
    }
    main_.reset();
    next_try_ms_ = now_ms() + options_.retry_ms;
    if (!unreachable_said_) {
        unreachable_said_ = true;
        report_(server ? "архив: сервер '" + options_.location.host + "' недоступен (" + error +
                             "), записи копятся в '" + options_.queue_file + "'"
                       : "архив: не удалось открыть '" + options_.location.file + "': " + error);
    }
    std::lock_guard guard(lock_);
    counters_.reachable = false;
    return false;
}

bool archive_writer::open_queue() {
    if (queue_ && queue_->is_open())
        return true;
    archive_location local;
    local.file = options_.queue_file;
    queue_ = std::make_unique<archive_db>(local, connection_name("queue"));
    std::string error;
    bool damaged = false;
    if (queue_->open(error, &damaged))
        return true;
    queue_.reset();
    report_("архив: не удалось открыть очередь '" + options_.queue_file + "': " + error);
    return false;
}

void archive_writer::deliver(std::vector<archive_row>& rows) {
    const bool server = options_.location.dialect == archive_dialect::postgresql;
    std::string error;
    if (open_main()) {
        bool damaged = false;
        if (main_->write(rows, error, &damaged)) {
            write_failure_said_ = false;
            std::lock_guard guard(lock_);
            counters_.written += static_cast<long long>(rows.size());
            ++counters_.batches;
            return;
        }
        if (damaged) {
            set_aside_damaged(error);
            if (open_main() && main_->write(rows, error)) {
                std::lock_guard guard(lock_);
                counters_.written += static_cast<long long>(rows.size());
                ++counters_.batches;
                return;
            }
        }
        if (server) {
            // The connection broke: whatever the server did with the transaction, the rows
            // go to the queue; sent again they are stored once.
            main_.reset();
            next_try_ms_ = now_ms() + options_.retry_ms;
            if (!unreachable_said_) {
                unreachable_said_ = true;
                report_("архив: сервер '" + options_.location.host + "' недоступен (" + error +
                        "), записи копятся в '" + options_.queue_file + "'");
            }
            std::lock_guard guard(lock_);
            counters_.reachable = false;
        }
    }
    if (server && open_queue()) {
        std::string queue_error;
        if (queue_->write(rows, queue_error)) {
            queue_nonempty_ = true;
            std::lock_guard guard(lock_);
            counters_.queued += static_cast<long long>(rows.size());
            counters_.in_queue += static_cast<long long>(rows.size());
            return;
        }
        error = queue_error;
    }
    {
        std::lock_guard guard(lock_);
        counters_.dropped += static_cast<long long>(rows.size());
    }
    // Once per run of failures: a full disk would otherwise say so a hundred times a second.
    if (!error.empty() && !std::exchange(write_failure_said_, true))
        report_("архив: " + std::to_string(rows.size()) + " записей не сохранено: " + error);
}

void archive_writer::drain_queue() {
    if (!queue_nonempty_ || !open_queue() || !open_main())
        return;
    QSqlDatabase& local = queue_->db();
    long long sent = 0;
    for (;;) {
        // Events then measurements, a chunk at a time: a chunk is deleted from the queue only
        // after the server committed it, and a chunk sent twice is stored once.
        std::vector<archive_row> rows;
        struct ident {
            bool event;
            qint64 sig, t;
            int kind, seq;
        };
        std::vector<ident> ids;
        for (int table = 0; table < 2 && static_cast<int>(rows.size()) < queue_chunk; ++table) {
            const bool events = table == 0;
            QSqlQuery select(local);
            select.setForwardOnly(true);
            QString sql = events ? "SELECT s.key, s.name, e.t, e.kind, e.seq, e.value, e.quality, "
                                   "e.text, e.sig FROM event e JOIN signal s ON s.id = e.sig "
                                   "LIMIT %1"
                                 : "SELECT s.key, s.name, m.t, 6, 0, m.value, m.quality, '', "
                                   "m.sig FROM measurement m JOIN signal s ON s.id = m.sig "
                                   "LIMIT %1";
            if (!select.exec(sql.arg(queue_chunk - static_cast<int>(rows.size()))))
                return;
            while (select.next()) {
                archive_row r;
                r.key = select.value(0).toString().toStdString();
                r.name = select.value(1).toString().toStdString();
                r.time_ms = select.value(2).toLongLong();
                r.kind = static_cast<archive_kind>(select.value(3).toInt());
                r.seq = select.value(4).toInt();
                r.value = select.value(5).toDouble();
                r.quality = select.value(6).toUInt();
                r.text = select.value(7).toString().toStdString();
                ids.push_back({events, select.value(8).toLongLong(), r.time_ms,
                               static_cast<int>(r.kind), r.seq});
                rows.push_back(std::move(r));
            }
        }
        if (rows.empty()) {
            queue_nonempty_ = false;
            break;
        }
        std::string error;
        if (!main_->write(rows, error)) {
            main_.reset();
            next_try_ms_ = now_ms() + options_.retry_ms;
            std::lock_guard guard(lock_);
            counters_.reachable = false;
            break;
        }
        local.transaction();
        QSqlQuery del_event(local), del_measurement(local);
        del_event.prepare("DELETE FROM event WHERE sig = ? AND t = ? AND kind = ? AND seq = ?");
        del_measurement.prepare("DELETE FROM measurement WHERE sig = ? AND t = ?");
        for (const ident& i : ids) {
            QSqlQuery& del = i.event ? del_event : del_measurement;
            del.bindValue(0, i.sig);
            del.bindValue(1, i.t);
            if (i.event) {
                del.bindValue(2, i.kind);
                del.bindValue(3, i.seq);
            }
            del.exec();
        }
        local.commit();
        sent += static_cast<long long>(rows.size());
        std::lock_guard guard(lock_);
        counters_.written += static_cast<long long>(rows.size());
        counters_.in_queue -= static_cast<long long>(rows.size());
    }
    if (sent > 0)
        report_("архив: из очереди отправлено на сервер " + std::to_string(sent) + " записей");
}

void archive_writer::retention() {
    if (!open_main())
        return;
    if (options_.keep_days > 0)
        main_->remove_before(now_ms() - static_cast<std::int64_t>(options_.keep_days) * 86400000);
    if (options_.max_bytes > 0 && options_.location.dialect == archive_dialect::sqlite) {
        // The oldest tenth of the time span goes until the pages in use fit.
        for (int round = 0; round < 64; ++round) {
            long long size = main_->size_bytes();
            if (size < 0 || size <= options_.max_bytes)
                break;
            std::int64_t oldest = 0, newest = 0;
            if (!main_->time_span(oldest, newest) || newest <= oldest)
                break;
            main_->remove_before(oldest + std::max<std::int64_t>((newest - oldest) / 10, 1));
        }
    }
    main_->shrink();
}

void archive_writer::run() {
    // A local queue left by a previous run is sent first.
    if (options_.location.dialect == archive_dialect::postgresql && !options_.queue_file.empty()) {
        if (open_queue()) {
            long long waiting = queue_->count_rows("event") + queue_->count_rows("measurement");
            queue_nonempty_ = waiting > 0;
            std::lock_guard guard(lock_);
            counters_.in_queue = std::max(0LL, waiting);
        }
    }
    open_main();
    next_retention_ms_ = now_ms();
    for (;;) {
        std::vector<archive_row> rows;
        bool retention_due = false;
        {
            std::unique_lock guard(lock_);
            busy_ = false;
            if (batches_.empty())
                idle_.notify_all();
            wake_.wait_for(guard, std::chrono::milliseconds(500),
                           [this] { return stop_ || retention_now_ || !batches_.empty(); });
            if (stop_ && batches_.empty())
                break;
            // Every batch waiting goes in one transaction: a worker that fell behind catches up.
            while (!batches_.empty()) {
                std::vector<archive_row>& b = batches_.front();
                if (rows.empty())
                    rows = std::move(b);
                else
                    rows.insert(rows.end(), std::make_move_iterator(b.begin()),
                                std::make_move_iterator(b.end()));
                batches_.pop_front();
            }
            pending_rows_ -= rows.size();
            busy_ = true;
            retention_due = std::exchange(retention_now_, false);
        }
        if (!rows.empty()) {
            assign_seq(rows);
            if (queue_nonempty_)
                drain_queue();
            deliver(rows);
        } else if (queue_nonempty_) {
            drain_queue();
        }
        if (retention_due || now_ms() >= next_retention_ms_) {
            next_retention_ms_ = now_ms() + options_.retention_every_ms;
            retention();
        }
    }
    std::lock_guard guard(lock_);
    busy_ = false;
    idle_.notify_all();
}

} // namespace nxkit
