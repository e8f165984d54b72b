#pragma once

// The archive of a running station: its writer, reader and recorder built from the settings
// (section ARCHIVE of ilkstation.ini, docs/settings.md), attached to the store after every
// load. The shell owns one; the journal and the trend window are given its parts.

#include "archive/archive_reader.h"
#include "archive/archive_recorder.h"
#include "archive/archive_writer.h"
#include "base/settings_keys.h"
#include "config/interfaces.h"

#include <memory>
#include <string>

namespace nxkit {

class t_ref_buff;

namespace setting {
inline constexpr int_setting archive_on{"ARCHIVE", "ON", 1};
// 0: SQLite in the station folder; 1: the PostgreSQL server below.
inline constexpr int_setting archive_server{"ARCHIVE", "SERVER", 0};
inline constexpr string_setting archive_file{"ARCHIVE", "FILE", "archive.sqlite"};
inline constexpr string_setting archive_queue{"ARCHIVE", "QUEUE_FILE", "archive_queue.sqlite"};
inline constexpr string_setting archive_pg_host{"ARCHIVE", "PG_HOST", "localhost"};
inline constexpr int_setting archive_pg_port{"ARCHIVE", "PG_PORT", 5432};
inline constexpr string_setting archive_pg_database{"ARCHIVE", "PG_DATABASE", "ilkstation"};
inline constexpr string_setting archive_pg_user{"ARCHIVE", "PG_USER", "ilkstation"};
inline constexpr int_setting archive_keep_days{"ARCHIVE", "KEEP_DAYS", 365};
inline constexpr int_setting archive_max_mb{"ARCHIVE", "MAX_MB", 4096};
inline constexpr double_setting archive_deadband{"ARCHIVE", "DEADBAND", 0.5};
inline constexpr int_setting archive_period{"ARCHIVE", "PERIOD", 900};
// Per signal: key = signal key, value "low;high" or "low;high;deadband percent".
inline constexpr const char* archive_range_section = "ARCHIVE_RANGE";
} // namespace setting

struct archive_service_settings {
    archive_options writer;
    archive_recorder_settings recorder;
    // A path relative to the station folder is taken there.
    static archive_service_settings from_settings(const std::string& station_dir);
};

class archive_service : public i_viewer {
public:
    archive_service(t_ref_buff& store, archive_service_settings settings,
                    archive_writer::report_fn report);
    ~archive_service() override;

    // i_viewer: the recorder subscribes after every load, with the ranges of the settings.
    void on_load() override;
    // Once a second.
    void tick();

    archive_writer& writer() { return writer_; }
    archive_reader& reader() { return reader_; }
    archive_recorder& recorder() { return recorder_; }

private:
    t_ref_buff& store_;
    archive_writer writer_;
    archive_reader reader_;
    archive_recorder recorder_;
};

} // namespace nxkit
