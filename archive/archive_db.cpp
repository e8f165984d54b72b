#include "archive/archive_db.h"

#include "archive/archive_texts.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <cmath>
#include <utility>

namespace nxkit {

namespace {

// Rows per INSERT statement: one round trip to a server for a whole batch of a pass.
constexpr int rows_per_statement = 200;

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string error_text(const QSqlError& e) {
    // A server's message runs over several lines: one line of the program log.
    std::string text = e.text().simplified().toStdString();
    return text.empty() ? std::string("неизвестная ошибка") : text;
}

// A whole number is stored as an integer: SQLite then keeps it in 0 to 6 bytes instead of 8.
QVariant value_variant(double v, archive_dialect dialect) {
    if (dialect == archive_dialect::sqlite && std::trunc(v) == v && std::fabs(v) < 9.0e15)
        return QVariant(static_cast<qint64>(v));
    return QVariant(v);
}

std::string like_pattern(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '%' || c == '_' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

} // namespace

std::vector<std::string> archive_schema(archive_dialect dialect) {
    if (dialect == archive_dialect::sqlite)
        return {
            "CREATE TABLE IF NOT EXISTS signal (id INTEGER PRIMARY KEY, key TEXT NOT NULL UNIQUE, "
            "name TEXT NOT NULL DEFAULT '', find TEXT NOT NULL DEFAULT '')",
            "CREATE TABLE IF NOT EXISTS event (sig INTEGER NOT NULL, t INTEGER NOT NULL, "
            "kind INTEGER NOT NULL, seq INTEGER NOT NULL, value NOT NULL, "
            "quality INTEGER NOT NULL, text TEXT NOT NULL, PRIMARY KEY (sig, t, kind, seq)) "
            "WITHOUT ROWID",
            "CREATE INDEX IF NOT EXISTS event_time ON event (t)",
            "CREATE TABLE IF NOT EXISTS measurement (sig INTEGER NOT NULL, t INTEGER NOT NULL, "
            "value NOT NULL, quality INTEGER NOT NULL, PRIMARY KEY (sig, t)) WITHOUT ROWID",
        };
    return {
        "CREATE TABLE IF NOT EXISTS signal (id BIGSERIAL PRIMARY KEY, key TEXT NOT NULL UNIQUE, "
        "name TEXT NOT NULL DEFAULT '', find TEXT NOT NULL DEFAULT '')",
        "CREATE TABLE IF NOT EXISTS event (sig BIGINT NOT NULL, t BIGINT NOT NULL, "
        "kind SMALLINT NOT NULL, seq INTEGER NOT NULL, value DOUBLE PRECISION NOT NULL, "
        "quality INTEGER NOT NULL, text TEXT NOT NULL, PRIMARY KEY (sig, t, kind, seq))",
        "CREATE INDEX IF NOT EXISTS event_time ON event (t, sig, kind, seq)",
        "CREATE TABLE IF NOT EXISTS measurement (sig BIGINT NOT NULL, t BIGINT NOT NULL, "
        "value DOUBLE PRECISION NOT NULL, quality INTEGER NOT NULL, PRIMARY KEY (sig, t))",
    };
}

bool archive_error_is_damage(const std::string& native_code, const std::string& text) {
    // SQLITE_CORRUPT 11, SQLITE_NOTADB 26 (extended codes keep them in the low byte).
    if (!native_code.empty()) {
        int code = std::atoi(native_code.c_str()) & 0xFF;
        if (code == 11 || code == 26)
            return true;
    }
    return text.find("malformed") != std::string::npos ||
           text.find("not a database") != std::string::npos;
}

archive_db::archive_db(archive_location location, std::string connection_name)
    : location_(std::move(location)), name_(std::move(connection_name)) {}

archive_db::~archive_db() {
    close();
}

bool archive_db::is_open() const {
    return db_.isValid() && db_.isOpen();
}

void archive_db::close() {
    ids_.clear();
    names_.clear();
    if (db_.isValid()) {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(q(name_));
    }
}

bool archive_db::exec(const std::string& sql, std::string* error) {
    QSqlQuery query(db_);
    if (query.exec(q(sql)))
        return true;
    if (error != nullptr)
        *error = error_text(query.lastError());
    return false;
}

bool archive_db::open(std::string& error, bool* damaged) {
    close();
    if (damaged != nullptr)
        *damaged = false;
    const bool sqlite = location_.dialect == archive_dialect::sqlite;
    db_ = QSqlDatabase::addDatabase(sqlite ? "QSQLITE" : "QPSQL", q(name_));
    if (!db_.isValid()) {
        error = sqlite ? "нет драйвера QSQLITE" : "нет драйвера QPSQL";
        close();
        return false;
    }
    if (sqlite) {
        db_.setDatabaseName(q(location_.file));
        db_.setConnectOptions("QSQLITE_BUSY_TIMEOUT=5000");
    } else {
        db_.setHostName(q(location_.host));
        db_.setPort(location_.port);
        db_.setDatabaseName(q(location_.database));
        db_.setUserName(q(location_.user));
        db_.setConnectOptions("connect_timeout=3");
    }
    if (!db_.open()) {
        error = error_text(db_.lastError());
        close();
        return false;
    }
    if (sqlite) {
        QSqlQuery check(db_);
        // A new file gets incremental vacuum before its first table, so retention can hand
        // pages back; WAL lets the reader search while the writer writes.
        bool ok = check.exec("PRAGMA auto_vacuum=INCREMENTAL") &&
                  check.exec("PRAGMA journal_mode=WAL") &&
                  check.exec("PRAGMA synchronous=NORMAL") && check.exec("PRAGMA quick_check(1)");
        if (ok && check.next() && check.value(0).toString() != "ok") {
            error = check.value(0).toString().toStdString();
            if (damaged != nullptr)
                *damaged = true;
            close();
            return false;
        }
        if (!ok) {
            QSqlError e = check.lastError();
            error = error_text(e);
            if (damaged != nullptr)
                *damaged = archive_error_is_damage(e.nativeErrorCode().toStdString(), error);
            close();
            return false;
        }
    }
    if (!sqlite) {
        // A server's archive made before is taken as it is (no notices for every start).
        QSqlQuery tables(db_);
        if (tables.exec("SELECT COUNT(*) FROM information_schema.tables WHERE table_name IN "
                        "('signal', 'event', 'measurement')") &&
            tables.next() && tables.value(0).toInt() == 3)
            return true;
    }
    for (const std::string& sql : archive_schema(location_.dialect)) {
        QSqlQuery query(db_);
        if (!query.exec(q(sql))) {
            QSqlError e = query.lastError();
            error = error_text(e);
            if (damaged != nullptr && sqlite)
                *damaged = archive_error_is_damage(e.nativeErrorCode().toStdString(), error);
            close();
            return false;
        }
    }
    return true;
}

std::int64_t archive_db::find_signal(const std::string& key) {
    QSqlQuery query(db_);
    query.prepare("SELECT id FROM signal WHERE key = ?");
    query.addBindValue(q(key));
    if (query.exec() && query.next())
        return query.value(0).toLongLong();
    return 0;
}

std::int64_t archive_db::signal_id(const std::string& key, const std::string& name, bool& failed) {
    auto known = ids_.find(key);
    if (known != ids_.end()) {
        if (!name.empty() && names_[key] != name) {
            QSqlQuery update(db_);
            update.prepare("UPDATE signal SET name = ?, find = ? WHERE id = ?");
            update.addBindValue(q(name));
            update.addBindValue(q(key + " " + name).toLower());
            update.addBindValue(QVariant(static_cast<qint64>(known->second)));
            if (!update.exec()) {
                failed = true;
                return 0;
            }
            names_[key] = name;
        }
        return known->second;
    }
    QSqlQuery insert(db_);
    insert.prepare("INSERT INTO signal (key, name, find) VALUES (?, ?, ?) ON CONFLICT (key) DO "
                   "NOTHING");
    insert.addBindValue(q(key));
    insert.addBindValue(q(name));
    insert.addBindValue(q(key + " " + name).toLower());
    if (!insert.exec()) {
        failed = true;
        return 0;
    }
    std::int64_t id = find_signal(key);
    if (id == 0) {
        failed = true;
        return 0;
    }
    ids_[key] = id;
    names_[key] = name;
    if (!name.empty()) {
        // Another workstation may have named it differently: ours is the newer name.
        QSqlQuery update(db_);
        update.prepare("UPDATE signal SET name = ?, find = ? WHERE id = ? AND name <> ?");
        update.addBindValue(q(name));
        update.addBindValue(q(key + " " + name).toLower());
        update.addBindValue(QVariant(static_cast<qint64>(id)));
        update.addBindValue(q(name));
        if (!update.exec()) {
            failed = true;
            return 0;
        }
    }
    return id;
}

bool archive_db::write(const std::vector<archive_row>& rows, std::string& error, bool* damaged) {
    if (damaged != nullptr)
        *damaged = false;
    if (rows.empty())
        return true;
    auto fail = [&](const QSqlError& e) {
        error = error_text(e);
        if (damaged != nullptr && location_.dialect == archive_dialect::sqlite)
            *damaged = archive_error_is_damage(e.nativeErrorCode().toStdString(), error);
        if (db_.isOpen())
            db_.rollback();
        // Ids cached inside a transaction that rolled back may name nothing.
        ids_.clear();
        names_.clear();
        return false;
    };
    if (!db_.transaction())
        return fail(db_.lastError());

    std::vector<std::int64_t> ids(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        bool failed = false;
        ids[i] = signal_id(rows[i].key, rows[i].name, failed);
        if (failed)
            return fail(db_.lastError().isValid()
                            ? db_.lastError()
                            : QSqlError("signal", "signal", QSqlError::StatementError));
    }
    // Events and measurements, each in statements of up to rows_per_statement rows.
    for (int pass = 0; pass < 2; ++pass) {
        const bool events = pass == 0;
        std::vector<std::size_t> which;
        for (std::size_t i = 0; i < rows.size(); ++i)
            if ((rows[i].kind == archive_kind::measurement) != events)
                which.push_back(i);
        const char* head = events ? "INSERT INTO event (sig, t, kind, seq, value, quality, text) "
                                    "VALUES "
                                  : "INSERT INTO measurement (sig, t, value, quality) VALUES ";
        const char* one = events ? "(?,?,?,?,?,?,?)" : "(?,?,?,?)";
        QSqlQuery full(db_);
        bool full_prepared = false;
        for (std::size_t at = 0; at < which.size(); at += rows_per_statement) {
            const std::size_t n = std::min<std::size_t>(rows_per_statement, which.size() - at);
            QSqlQuery part(db_);
            QSqlQuery* query = &part;
            std::string sql = head;
            for (std::size_t k = 0; k < n; ++k) {
                if (k != 0)
                    sql += ',';
                sql += one;
            }
            sql += " ON CONFLICT DO NOTHING";
            if (n == rows_per_statement) {
                query = &full;
                if (!full_prepared && !full.prepare(q(sql)))
                    return fail(full.lastError());
                full_prepared = true;
            } else if (!part.prepare(q(sql))) {
                return fail(part.lastError());
            }
            int pos = 0;
            for (std::size_t k = 0; k < n; ++k) {
                const std::size_t i = which[at + k];
                const archive_row& r = rows[i];
                query->bindValue(pos++, QVariant(static_cast<qint64>(ids[i])));
                query->bindValue(pos++, QVariant(static_cast<qint64>(r.time_ms)));
                if (events) {
                    query->bindValue(pos++, QVariant(static_cast<int>(r.kind)));
                    query->bindValue(pos++, QVariant(r.seq));
                }
                query->bindValue(pos++, value_variant(r.value, location_.dialect));
                query->bindValue(pos++, QVariant(static_cast<qint64>(r.quality)));
                if (events)
                    query->bindValue(pos++, q(r.text));
            }
            if (!query->exec())
                return fail(query->lastError());
        }
    }
    if (!db_.commit())
        return fail(db_.lastError());
    return true;
}

long long archive_db::remove_before(std::int64_t before_ms) {
    long long removed = 0;
    for (const char* table : {"event", "measurement"}) {
        QSqlQuery query(db_);
        query.prepare(QString("DELETE FROM %1 WHERE t < ?").arg(table));
        query.addBindValue(QVariant(static_cast<qint64>(before_ms)));
        if (!query.exec())
            return -1;
        removed += query.numRowsAffected();
    }
    return removed;
}

long long archive_db::size_bytes() {
    QSqlQuery query(db_);
    if (location_.dialect == archive_dialect::sqlite) {
        if (!query.exec("SELECT (SELECT page_count FROM pragma_page_count()) - (SELECT "
                        "freelist_count FROM pragma_freelist_count()), (SELECT page_size FROM "
                        "pragma_page_size())") ||
            !query.next())
            return -1;
        return query.value(0).toLongLong() * query.value(1).toLongLong();
    }
    if (!query.exec("SELECT pg_total_relation_size('event') + "
                    "pg_total_relation_size('measurement')") ||
        !query.next())
        return -1;
    return query.value(0).toLongLong();
}

void archive_db::shrink() {
    if (location_.dialect != archive_dialect::sqlite)
        return;
    // Qt steps a statement without result columns once, and each step of this pragma frees
    // one page: it is run until the free list is empty.
    QSqlQuery free_pages(db_);
    QSqlQuery vacuum(db_);
    for (int round = 0; round < 1000000; ++round) {
        if (!free_pages.exec("PRAGMA freelist_count") || !free_pages.next() ||
            free_pages.value(0).toLongLong() == 0)
            break;
        free_pages.finish();
        if (!vacuum.exec("PRAGMA incremental_vacuum(1)"))
            break;
        vacuum.finish();
    }
}

bool archive_db::time_span(std::int64_t& oldest, std::int64_t& newest) {
    oldest = newest = 0;
    bool any = false;
    for (const char* table : {"event", "measurement"}) {
        QSqlQuery query(db_);
        // Two index lookups each: the time index of events, the key of measurements per signal
        // would need a scan, so measurements are asked by their own min/max.
        if (!query.exec(QString("SELECT MIN(t), MAX(t) FROM %1").arg(table)) || !query.next())
            return false;
        if (query.value(0).isNull())
            continue;
        std::int64_t lo = query.value(0).toLongLong();
        std::int64_t hi = query.value(1).toLongLong();
        oldest = any ? std::min(oldest, lo) : lo;
        newest = any ? std::max(newest, hi) : hi;
        any = true;
    }
    return true;
}

long long archive_db::count_rows(const char* table) {
    QSqlQuery query(db_);
    if (!query.exec(QString("SELECT COUNT(*) FROM %1").arg(table)) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

std::vector<archive_found> archive_db::search(const archive_query& query,
                                              const archive_cursor& after, int limit,
                                              std::string* error) {
    std::vector<archive_found> none;
    // The text: in the signal's key and name (kept lower-cased for this) or the state text
    // (the program's own few, matched here).
    const QString needle = q(query.text).toLower();
    const std::string text_pattern = "%" + like_pattern(needle.toStdString()) + "%";
    std::vector<std::string> states;
    if (!query.text.empty())
        for (const std::string& state : archive_state_texts())
            if (q(state).toLower().contains(needle))
                states.push_back(state);

    // A signal, or a text that names signals only, narrows the search to those signals: each
    // is read along its own key (signal, time), however many rows the archive holds.
    std::vector<std::int64_t> ids;
    const bool by_signal = !query.signal.empty() || (!query.text.empty() && states.empty());
    if (by_signal) {
        QSqlQuery find(db_);
        std::string sql = "SELECT id FROM signal WHERE key LIKE ? ESCAPE '\\'";
        if (states.empty() && !query.text.empty())
            sql += " AND find LIKE ? ESCAPE '\\'";
        find.prepare(q(sql));
        find.addBindValue(q(like_pattern(query.signal) + "%"));
        if (states.empty() && !query.text.empty())
            find.addBindValue(q(text_pattern));
        if (!find.exec()) {
            if (error != nullptr)
                *error = error_text(find.lastError());
            return none;
        }
        while (find.next())
            ids.push_back(find.value(0).toLongLong());
        if (ids.empty())
            return none;
    }
    constexpr std::size_t per_signal_limit = 64;
    const bool per_signal = by_signal && ids.size() <= per_signal_limit;

    std::vector<QVariant> binds;
    // The conditions every row meets; `sig` restricts to one signal (0: the list or none).
    auto conditions = [&](std::int64_t sig) {
        std::string w = " WHERE e.t >= ? AND e.t <= ?";
        binds.emplace_back(static_cast<qint64>(after.set ? std::max(after.time_ms, query.from_ms)
                                                         : query.from_ms));
        binds.emplace_back(static_cast<qint64>(query.to_ms));
        if (sig != 0) {
            w += " AND e.sig = ?";
            binds.emplace_back(static_cast<qint64>(sig));
        } else if (by_signal) {
            w += " AND e.sig IN (";
            for (std::size_t i = 0; i < ids.size(); ++i)
                w += (i == 0 ? "?" : ",?");
            w += ")";
            for (std::int64_t id : ids)
                binds.emplace_back(static_cast<qint64>(id));
        }
        if (!query.text.empty() && !states.empty()) {
            w += " AND (s.find LIKE ? ESCAPE '\\'";
            binds.emplace_back(q(text_pattern));
            for (const std::string& state : states) {
                w += " OR e.text = ?";
                binds.emplace_back(q(state));
            }
            w += ")";
        }
        if (query.only_unacknowledged)
            w += " AND e.kind = 1 AND NOT EXISTS (SELECT 1 FROM event a WHERE a.sig = e.sig AND "
                 "a.t = e.t AND a.kind = 2)";
        if (after.set) {
            w += " AND (e.t, e.sig, e.kind, e.seq) > (?, ?, ?, ?)";
            binds.emplace_back(static_cast<qint64>(after.time_ms));
            binds.emplace_back(static_cast<qint64>(after.signal_id));
            binds.emplace_back(after.kind);
            binds.emplace_back(after.seq);
        }
        return w;
    };
    const std::string columns =
        "SELECT e.t, e.sig, e.kind, e.seq, s.key, s.name, e.value, e.quality, e.text, "
        "EXISTS (SELECT 1 FROM event a WHERE a.sig = e.sig AND a.t = e.t AND a.kind = 2) "
        "AS ack FROM event e JOIN signal s ON s.id = e.sig";
    const std::string order = " ORDER BY 1, 2, 3, 4 LIMIT " + std::to_string(limit);
    std::string sql;
    if (per_signal) {
        // A page of each signal along its key, merged by time.
        sql = "SELECT * FROM (";
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (i != 0)
                sql += " UNION ALL ";
            sql += "SELECT * FROM (" + columns + conditions(ids[i]) + order + ") AS p" +
                   std::to_string(i);
        }
        sql += ") AS pages" + order;
    } else {
        sql = columns + conditions(0) + order;
    }
    QSqlQuery select(db_);
    select.setForwardOnly(true);
    std::vector<archive_found> found;
    if (!select.prepare(q(sql))) {
        if (error != nullptr)
            *error = error_text(select.lastError());
        return found;
    }
    for (std::size_t i = 0; i < binds.size(); ++i)
        select.bindValue(static_cast<int>(i), binds[i]);
    if (!select.exec()) {
        if (error != nullptr)
            *error = error_text(select.lastError());
        return found;
    }
    while (select.next()) {
        archive_found f;
        f.time_ms = select.value(0).toLongLong();
        f.signal_id = select.value(1).toLongLong();
        f.kind = static_cast<archive_kind>(select.value(2).toInt());
        f.seq = select.value(3).toInt();
        f.key = select.value(4).toString().toStdString();
        f.name = select.value(5).toString().toStdString();
        f.value = select.value(6).toDouble();
        f.quality = select.value(7).toUInt();
        f.text = select.value(8).toString().toStdString();
        f.acknowledged = select.value(9).toBool();
        found.push_back(std::move(f));
    }
    return found;
}

std::vector<archive_found> archive_db::last_events(const std::string& key, int count) {
    std::vector<archive_found> found;
    std::int64_t id = find_signal(key);
    if (id == 0)
        return found;
    QSqlQuery select(db_);
    select.setForwardOnly(true);
    select.prepare(q("SELECT t, kind, seq, value, quality, text FROM event WHERE sig = ? ORDER "
                     "BY t DESC, kind DESC, seq DESC LIMIT " +
                     std::to_string(count)));
    select.addBindValue(QVariant(static_cast<qint64>(id)));
    if (!select.exec())
        return found;
    while (select.next()) {
        archive_found f;
        f.time_ms = select.value(0).toLongLong();
        f.signal_id = id;
        f.kind = static_cast<archive_kind>(select.value(1).toInt());
        f.seq = select.value(2).toInt();
        f.key = key;
        f.value = select.value(3).toDouble();
        f.quality = select.value(4).toUInt();
        f.text = select.value(5).toString().toStdString();
        found.push_back(std::move(f));
    }
    return found;
}

std::vector<archive_sample> archive_db::series(const std::string& key, std::int64_t from_ms,
                                               std::int64_t to_ms) {
    std::vector<archive_sample> samples;
    std::int64_t id = find_signal(key);
    if (id == 0)
        return samples;
    // Measurements, or the events of a telesignal (its changes) for a step line.
    const bool measured = !key.empty() && key[0] == 'i';
    const QString table = measured ? "measurement" : "event";
    const QString only = measured ? "" : " AND kind = 1";
    QSqlQuery before(db_);
    before.setForwardOnly(true);
    before.prepare(QString("SELECT t, value, quality FROM %1 WHERE sig = ? AND t < ?%2 ORDER BY t "
                           "DESC LIMIT 1")
                       .arg(table, only));
    before.addBindValue(QVariant(static_cast<qint64>(id)));
    before.addBindValue(QVariant(static_cast<qint64>(from_ms)));
    if (before.exec() && before.next())
        samples.push_back(
            {before.value(0).toLongLong(), before.value(1).toDouble(), before.value(2).toUInt()});
    QSqlQuery range(db_);
    range.setForwardOnly(true);
    range.prepare(
        QString("SELECT t, value, quality FROM %1 WHERE sig = ? AND t >= ? AND t <= ?%2 ORDER BY t")
            .arg(table, only));
    range.addBindValue(QVariant(static_cast<qint64>(id)));
    range.addBindValue(QVariant(static_cast<qint64>(from_ms)));
    range.addBindValue(QVariant(static_cast<qint64>(to_ms)));
    if (range.exec())
        while (range.next())
            samples.push_back(
                {range.value(0).toLongLong(), range.value(1).toDouble(), range.value(2).toUInt()});
    return samples;
}

} // namespace nxkit
