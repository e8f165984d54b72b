#pragma once

#include "archive/archive_series.h"
#include "trends/display/trend_window.h"
#include "trends/memory_series_source.h"

#include <QObject>
#include <QPointer>

#include <string>
#include <vector>

class QWidget;

namespace nxkit {

class t_ref_buff;

// Opens the trend windows of the program: they share one memory source (what any of them
// saw stays for the next one) and the archive once it is wired.
class trend_windows : public QObject {
    Q_OBJECT
public:
    trend_windows(t_ref_buff& store, QWidget* owner);

    void set_archive(archive_series_source* archive) { archive_ = archive; }
    memory_series_source& memory() { return memory_; }

    // A new window with these signals (keys that are no ТИ or ТС are left out); null when
    // none is left.
    trend_window* open(const std::vector<std::string>& signal_keys);
    // The last window opened, while it is open.
    trend_window* last() const { return last_; }

    // The demo's hook: samples of a CSV file as the trend window writes them, into the memory
    // source. Returns the number of samples taken, -1 when the file cannot be read.
    int preload_csv(const std::string& path);

private:
    t_ref_buff& store_;
    QWidget* owner_;
    archive_series_source* archive_ = nullptr;
    memory_series_source memory_;
    QPointer<trend_window> last_;
};

} // namespace nxkit
