#include "archive/archive_service.h"

#include "base/settings.h"
#include "config/t_ref_buff.h"

#include <QDateTime>

namespace nxkit {

namespace {

std::string in_station(const std::string& station_dir, const std::string& path) {
    if (path.empty() || path[0] == '/')
        return path;
    return station_dir + path;
}

} // namespace

archive_service_settings archive_service_settings::from_settings(const std::string& station_dir) {
    archive_service_settings s;
    archive_location& where = s.writer.location;
    if (read_setting(setting::archive_server) != 0) {
        where.dialect = archive_dialect::postgresql;
        where.host = read_setting(setting::archive_pg_host);
        where.port = read_setting(setting::archive_pg_port);
        where.database = read_setting(setting::archive_pg_database);
        where.user = read_setting(setting::archive_pg_user);
    } else {
        read_setting(setting::archive_pg_host);
        read_setting(setting::archive_pg_port);
        read_setting(setting::archive_pg_database);
        read_setting(setting::archive_pg_user);
    }
    where.file = in_station(station_dir, read_setting(setting::archive_file));
    s.writer.queue_file = in_station(station_dir, read_setting(setting::archive_queue));
    s.writer.keep_days = std::max(0, read_setting(setting::archive_keep_days));
    s.writer.max_bytes = static_cast<long long>(std::max(0, read_setting(setting::archive_max_mb)))
                         << 20;
    s.recorder.deadband_percent = std::max(0.0, read_setting(setting::archive_deadband));
    s.recorder.period_s = std::max(1, read_setting(setting::archive_period));
    return s;
}

archive_service::archive_service(t_ref_buff& store, archive_service_settings settings,
                                 archive_writer::report_fn report)
    : store_(store), writer_(settings.writer, std::move(report)), reader_(settings.writer.location),
      recorder_(store, writer_, settings.recorder) {}

archive_service::~archive_service() {
    store_.remove_viewer(this);
}

void archive_service::on_load() {
    for (const std::string& key : settings_key_names(setting::archive_range_section))
        recorder_.set_range(key, parse_archive_range(settings_get_string(
                                     setting::archive_range_section, key, "", false)));
    recorder_.attach();
}

void archive_service::tick() {
    recorder_.tick(QDateTime::currentMSecsSinceEpoch());
}

} // namespace nxkit
