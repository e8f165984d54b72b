#include "ui/qt_desktop.h"

#include <QApplication>
#include <QClipboard>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

namespace nxkit {

std::string qt_clipboard::text() {
    return QApplication::clipboard()->text().toStdString();
}

void qt_clipboard::set_text(const std::string& text) {
    QApplication::clipboard()->setText(QString::fromStdString(text));
}

void qt_beep::beep(int frequency_hz, int duration_ms) {
    if (!console_tone(frequency_hz, duration_ms))
        QApplication::beep();
}

qt_hot_key::~qt_hot_key() {
    unregister_key();
}

bool qt_hot_key::register_key(const std::string& sequence, std::function<void()> pressed) {
    unregister_key();
    QKeySequence keys(QString::fromStdString(sequence), QKeySequence::PortableText);
    if (keys.isEmpty() || keys[0].key() == Qt::Key_unknown)
        return false;
    shortcut_ = new QShortcut(keys, window_);
    shortcut_->setContext(Qt::ApplicationShortcut);
    QObject::connect(shortcut_, &QShortcut::activated, window_, std::move(pressed));
    return true;
}

void qt_hot_key::unregister_key() {
    delete shortcut_.data();
    shortcut_ = nullptr;
}

} // namespace nxkit
