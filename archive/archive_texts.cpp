#include "archive/archive_texts.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cmath>

namespace nxkit {

const std::vector<std::string>& archive_state_texts() {
    static const std::vector<std::string> texts{"ВКЛЮЧЕН",
                                                "ОТКЛЮЧЕН",
                                                "нет контроля",
                                                "неопределенный",
                                                "недостоверный",
                                                archive_text_acknowledged,
                                                archive_text_manual_on,
                                                archive_text_manual_off,
                                                archive_text_connected,
                                                archive_text_disconnected};
    return texts;
}

std::int64_t archive_ms(nx_time t) {
    const nx_time_fields f = time_decode(t);
    QDateTime local(QDate(f.year, f.month, f.day), QTime(f.hour, f.minute, f.second, f.millisecond),
                    Qt::LocalTime);
    return local.toMSecsSinceEpoch();
}

nx_time archive_nx_time(std::int64_t ms) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
    const QDate d = local.date();
    const QTime c = local.time();
    return time_encode(d.year(), d.month(), d.day(), c.hour(), c.minute(), c.second(), c.msec());
}

} // namespace nxkit
