#include "trends/display/trend_windows.h"

#include "trends/display/trend_window.h"
#include "trends/trend_csv.h"

#include <QDateTime>

#include <fstream>
#include <sstream>

namespace nxkit {

trend_windows::trend_windows(t_ref_buff& store, QWidget* owner)
    : QObject(owner), store_(store), owner_(owner) {}

trend_window* trend_windows::open(const std::vector<std::string>& signal_keys) {
    auto* window = new trend_window(store_, memory_, archive_, owner_);
    int added = 0;
    for (const std::string& key : signal_keys)
        added += window->add_signal(key) ? 1 : 0;
    if (added == 0) {
        delete window;
        return nullptr;
    }
    window->show();
    window->raise();
    window->activateWindow();
    last_ = window;
    return window;
}

int trend_windows::preload_csv(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return -1;
    std::stringstream text;
    text << in.rdbuf();
    std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    std::vector<trend_csv_row> rows = parse_trend_csv(text.str(), local_offset_ms(now));
    for (const trend_csv_row& row : rows)
        memory_.add(row.key, row.sample);
    return static_cast<int>(rows.size());
}

} // namespace nxkit
