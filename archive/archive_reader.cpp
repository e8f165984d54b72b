#include "archive/archive_reader.h"

#include <QSqlQuery>

#include <atomic>
#include <future>
#include <utility>

namespace nxkit {

namespace {
std::atomic<int> reader_counter{0};
} // namespace

archive_reader::archive_reader(archive_location location) : location_(std::move(location)) {
    worker_ = std::thread([this] { run(); });
}

archive_reader::~archive_reader() {
    {
        std::lock_guard guard(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void archive_reader::post(job j) {
    {
        std::lock_guard guard(lock_);
        jobs_.push_back(std::move(j));
    }
    wake_.notify_one();
}

void archive_reader::run_and_wait(job j) {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    post([&](archive_db* db, const std::string& error) {
        j(db, error);
        done.set_value();
    });
    finished.wait();
}

void archive_reader::run() {
    std::unique_ptr<archive_db> db;
    for (;;) {
        job j;
        {
            std::unique_lock guard(lock_);
            wake_.wait(guard, [this] { return stop_ || !jobs_.empty(); });
            if (stop_ && jobs_.empty())
                break;
            j = std::move(jobs_.front());
            jobs_.pop_front();
        }
        std::string error;
        if (!db || !db->is_open()) {
            db = std::make_unique<archive_db>(location_, "ilk_archive_reader_" +
                                                             std::to_string(++reader_counter));
            if (!db->open(error))
                db.reset();
        } else if (location_.dialect == archive_dialect::postgresql) {
            // A server connection that broke since the last job is opened again.
            QSqlQuery ping(db->db());
            if (!ping.exec("SELECT 1") && !db->open(error))
                db.reset();
        }
        j(db.get(), error);
    }
}

std::vector<archive_sample> archive_reader::series(const std::string& signal_key,
                                                   std::int64_t from_ms, std::int64_t to_ms) {
    std::vector<archive_sample> samples;
    run_and_wait([&](archive_db* db, const std::string&) {
        if (db != nullptr)
            samples = db->series(signal_key, from_ms, to_ms);
    });
    return samples;
}

std::vector<archive_found> archive_reader::search(const archive_query& query,
                                                  const archive_cursor& after, int limit,
                                                  std::string* error) {
    std::vector<archive_found> found;
    run_and_wait([&](archive_db* db, const std::string& open_error) {
        if (db == nullptr) {
            if (error != nullptr)
                *error = open_error;
            return;
        }
        found = db->search(query, after, limit, error);
    });
    return found;
}

} // namespace nxkit
