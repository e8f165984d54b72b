#include "ui/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace nxkit {

std::string qt_clipboard::text() {
    if (QGuiApplication::instance() == nullptr)
        return {};
    return QGuiApplication::clipboard()->text().toStdString();
}

void qt_clipboard::set_text(const std::string& text) {
    if (QGuiApplication::instance() != nullptr)
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

} // namespace nxkit
