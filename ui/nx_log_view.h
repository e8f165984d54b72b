#pragma once

#include <QColor>
#include <QObject>

#include <string>

class QPlainTextEdit;
class QTimer;

namespace nxkit {

// Shows the tail of a log file in a read-only text pane and follows the file as it grows:
// every tick it looks at the file's length and, when it changed, reads the last 300000 bytes
// and appends what follows the anchor (the tail shown last time). A double click on the pane
// freezes it and brings it back.
class nx_log_view : public QObject {
    Q_OBJECT
public:
    enum mode { normal = 0, intensive = 1, frozen = 2 };

    static constexpr int read_limit = 300000;
    static constexpr int anchor_size = 3255;

    explicit nx_log_view(QPlainTextEdit* pane);
    ~nx_log_view() override;

    void set_mode(int mode);
    int current_mode() const { return mode_; }
    // The pane's background in a mode.
    static QColor mode_colour(int mode);

    // Follows another file: a running view restarts on it, a stopped one shows it once.
    void follow(const std::string& file_name);
    // False when already running. 0 and "" keep the current limit, interval and file.
    bool start(const std::string& file_name = {}, int text_limit = 0, int normal_interval = 0);
    bool stop();
    bool running() const;

    const std::string& file_name() const { return file_name_; }
    int interval() const { return interval_; }
    int text_limit() const { return text_limit_; }

    // One look at the file (what each tick does).
    void update();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply_colour();
    void toggle_frozen();

    QPlainTextEdit* pane_;
    QTimer* timer_;
    int text_limit_ = read_limit;
    int normal_interval_ = 500;
    // -1: none (frozen).
    int interval_ = 500;
    std::string file_name_;
    long long last_size_ = 0;
    std::string anchor_;
    int mode_ = normal;
    int previous_mode_ = normal;
};

} // namespace nxkit
