#include "ui/nx_log_view.h"

#include "base/cp1251.h"

#include <QEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

#include <fstream>

namespace nxkit {

nx_log_view::nx_log_view(QPlainTextEdit* pane)
    : QObject(pane), pane_(pane), timer_(new QTimer(this)) {
    connect(timer_, &QTimer::timeout, this, &nx_log_view::update);
    pane_->viewport()->installEventFilter(this);
    pane_->setAutoFillBackground(true);
    // Mode 0 without starting the timer.
    mode_ = normal;
    interval_ = normal_interval_;
    apply_colour();
}

nx_log_view::~nx_log_view() {
    timer_->stop();
}

QColor nx_log_view::mode_colour(int mode) {
    switch (mode) {
    case intensive:
        return QColor(255, 200, 200);
    case frozen:
        return QColor(200, 255, 200);
    default:
        return QPalette().color(QPalette::Button);
    }
}

void nx_log_view::apply_colour() {
    QPalette palette = pane_->palette();
    palette.setColor(QPalette::Base, mode_colour(mode_));
    pane_->setPalette(palette);
}

void nx_log_view::set_mode(int mode) {
    mode_ = mode;
    interval_ = mode == intensive ? 1 : mode == frozen ? -1 : normal_interval_;
    apply_colour();
    timer_->stop();
    if (interval_ >= 0)
        timer_->start(interval_);
    else
        pane_->viewport()->update();
}

void nx_log_view::toggle_frozen() {
    if (mode_ == frozen) {
        set_mode(previous_mode_);
    } else {
        previous_mode_ = mode_;
        set_mode(frozen);
    }
}

bool nx_log_view::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pane_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        toggle_frozen();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void nx_log_view::follow(const std::string& file_name) {
    if (file_name == file_name_)
        return;
    file_name_ = file_name;
    if (!pane_->isVisible())
        return;
    bool was_running = timer_->isActive();
    stop();
    if (was_running) {
        start();
    } else {
        pane_->clear();
        anchor_.clear();
        last_size_ = 0;
        update();
    }
}

bool nx_log_view::start(const std::string& file_name, int text_limit, int normal_interval) {
    if (timer_->isActive())
        return false;
    if (text_limit != 0)
        text_limit_ = text_limit;
    if (normal_interval != 0) {
        normal_interval_ = normal_interval;
        if (mode_ == normal)
            interval_ = normal_interval;
    }
    if (!file_name.empty())
        file_name_ = file_name;
    // The whole tail is read again, so what the pane shows would be doubled.
    pane_->clear();
    anchor_.clear();
    last_size_ = 0;
    // Frozen: nothing runs until the mode changes.
    if (interval_ < 0)
        return false;
    timer_->start(interval_);
    return timer_->isActive();
}

bool nx_log_view::stop() {
    if (!timer_->isActive())
        return false;
    if (interval_ >= 0)
        pane_->clear();
    timer_->stop();
    anchor_.clear();
    last_size_ = 0;
    return true;
}

bool nx_log_view::running() const {
    return timer_->isActive();
}

void nx_log_view::update() {
    std::ifstream in(file_name_, std::ios::binary | std::ios::ate);
    if (!in)
        return;
    long long size = static_cast<long long>(in.tellg());
    if (size < 0 || size == last_size_)
        return;
    long long n = std::min<long long>(size, read_limit);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    in.seekg(size - n);
    in.read(bytes.data(), n);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    last_size_ = size;

    std::size_t from = 0;
    if (!anchor_.empty()) {
        std::size_t at = bytes.rfind(anchor_);
        // Not found: the file was trimmed or rotated under us; take the whole tail.
        if (at != std::string::npos)
            from = at + anchor_.size();
    }
    std::size_t keep = std::min<std::size_t>(bytes.size(), anchor_size);
    anchor_ = bytes.substr(bytes.size() - keep);
    if (from >= bytes.size())
        return;
    QString fresh = QString::fromStdString(from_cp1251(std::string_view(bytes).substr(from)));

    pane_->setUpdatesEnabled(false);
    QTextCursor cursor(pane_->document());
    int length = pane_->document()->characterCount() - 1;
    int excess = length + static_cast<int>(fresh.size()) - text_limit_;
    if (excess > 0) {
        cursor.setPosition(0);
        cursor.setPosition(std::min(excess, length), QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        if (excess > length)
            fresh = fresh.right(text_limit_);
    }
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(fresh);
    pane_->verticalScrollBar()->setValue(pane_->verticalScrollBar()->maximum());
    pane_->setUpdatesEnabled(true);
}

} // namespace nxkit
