#pragma once

// One connection to the archive's database, SQLite or PostgreSQL, through Qt SQL. A connection
// belongs to the thread that opened it: the writer and the reader each open their own.

#include "archive/archive_record.h"
#include "archive/archive_series.h"

#include <QSqlDatabase>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace nxkit {

enum class archive_dialect { sqlite, postgresql };

struct archive_location {
    archive_dialect dialect = archive_dialect::sqlite;
    std::string file; // SQLite: the database file
    // PostgreSQL: the password comes from ~/.pgpass or PGPASSFILE (libpq reads it itself).
    std::string host;
    int port = 5432;
    std::string database;
    std::string user;
};

// The SQL that creates the archive, for the documentation and the tests.
std::vector<std::string> archive_schema(archive_dialect dialect);

class archive_db {
public:
    archive_db(archive_location location, std::string connection_name);
    ~archive_db();
    archive_db(const archive_db&) = delete;
    archive_db& operator=(const archive_db&) = delete;

    // Opens the database and creates the tables it lacks. A SQLite file that is no database or
    // fails its quick check is `damaged`.
    bool open(std::string& error, bool* damaged = nullptr);
    void close();
    bool is_open() const;
    const archive_location& location() const { return location_; }

    // The rows in one transaction; a row already there (same signal, time, kind and seq) is
    // left as it is, so a batch sent twice is stored once.
    bool write(const std::vector<archive_row>& rows, std::string& error, bool* damaged = nullptr);

    // Retention: removes the rows older than `before_ms`; the count removed, -1 on failure.
    long long remove_before(std::int64_t before_ms);
    // The bytes the archive takes (SQLite: pages in use; PostgreSQL: its two tables).
    long long size_bytes();
    // The oldest and newest time in the archive (both 0 when empty).
    bool time_span(std::int64_t& oldest, std::int64_t& newest);
    // SQLite: gives the free pages back to the file system.
    void shrink();

    // Reads.
    std::vector<archive_found> search(const archive_query& query, const archive_cursor& after,
                                      int limit, std::string* error = nullptr);
    std::vector<archive_found> last_events(const std::string& key, int count);
    std::vector<archive_sample> series(const std::string& key, std::int64_t from_ms,
                                       std::int64_t to_ms);
    long long count_rows(const char* table);

    QSqlDatabase& db() { return db_; }

private:
    std::int64_t signal_id(const std::string& key, const std::string& name, bool& failed);
    std::int64_t find_signal(const std::string& key);
    bool exec(const std::string& sql, std::string* error = nullptr);

    archive_location location_;
    std::string name_;
    QSqlDatabase db_;
    std::unordered_map<std::string, std::int64_t> ids_;
    std::unordered_map<std::string, std::string> names_;
};

// A SQLite error code means a damaged file (corrupt, not a database).
bool archive_error_is_damage(const std::string& native_code, const std::string& text);

} // namespace nxkit
