#pragma once

#include "platform/desktop_services.h"

#include <QPointer>

#include <functional>
#include <memory>

class QShortcut;
class QWidget;

namespace nxkit {

// The desktop seams carried out with Qt.
class qt_clipboard : public i_clipboard {
public:
    std::string text() override;
    void set_text(const std::string& text) override;
};

// The console's tone where the process may use it, else the desktop's bell.
class qt_beep : public i_beep {
public:
    void beep(int frequency_hz, int duration_ms) override;
};

// An application-wide shortcut on `window`: it works while any window of the program is active
// (the desktop keeps global combinations to itself).
class qt_hot_key : public i_hot_key {
public:
    explicit qt_hot_key(QWidget* window) : window_(window) {}
    ~qt_hot_key() override;
    bool register_key(const std::string& sequence, std::function<void()> pressed) override;
    void unregister_key() override;

private:
    QWidget* window_;
    QPointer<QShortcut> shortcut_;
};

} // namespace nxkit
