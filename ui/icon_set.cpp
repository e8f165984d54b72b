#include "ui/icon_set.h"

#include <QFile>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

namespace nxkit {

namespace {

QString resource_name(int number) {
    return QStringLiteral(":/icons/%1.svg").arg(number);
}

QPixmap render(int number, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource_name(number));
    if (!renderer.isValid())
        return {};
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    renderer.render(&p, QRectF(0, 0, size, size));
    return pixmap;
}

// Disabled pictures: grey, lighter, as the platform draws disabled buttons.
QPixmap greyed(const QPixmap& source) {
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            QRgb c = line[x];
            int g = (qGray(c) + 2 * 200) / 3;
            line[x] = qRgba(g, g, g, qAlpha(c) * 2 / 3);
        }
    }
    return QPixmap::fromImage(image);
}

} // namespace

bool icon_set::has(int number) {
    return QFile::exists(resource_name(number));
}

QIcon icon_set::icon(int number) const {
    if (!has(number))
        return {};
    return QIcon(resource_name(number));
}

QPixmap icon_set::pixmap(int number, int size, QIcon::Mode mode) {
    return overlaid(number, 0, size, mode);
}

QPixmap icon_set::overlaid(int number, int overlay, int size, QIcon::Mode mode) {
    int state = mode == QIcon::Disabled ? 1 : 0;
    auto key = std::make_tuple(number, overlay, size, state);
    if (auto it = cache_.find(key); it != cache_.end())
        return it->second;
    QPixmap result;
    if (state == 1) {
        result = greyed(overlaid(number, overlay, size));
    } else if (overlay == 0) {
        result = render(number, size);
    } else {
        result = render(number, size);
        if (result.isNull()) {
            result = QPixmap(size, size);
            result.fill(Qt::transparent);
        }
        QPixmap mark = render(overlay, size);
        if (!mark.isNull()) {
            // The mark takes the lower left 5/8 of the picture, like the platform's overlays.
            int side = (size * 5 + 7) / 8;
            QPainter p(&result);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawPixmap(QRect(0, size - side, side, side), mark);
        }
    }
    cache_[key] = result;
    return result;
}

QIcon icon_set::button_icon(int on, int off, int disabled, int size) {
    QIcon result;
    if (off == 0) {
        result.addPixmap(pixmap(on, size), QIcon::Normal, QIcon::Off);
        result.addPixmap(pixmap(on, size), QIcon::Active, QIcon::Off);
    } else {
        for (QIcon::Mode m : {QIcon::Normal, QIcon::Active, QIcon::Selected}) {
            result.addPixmap(pixmap(on, size), m, QIcon::On);
            result.addPixmap(pixmap(off, size), m, QIcon::Off);
        }
    }
    QPixmap grey =
        disabled != 0 ? pixmap(disabled, size) : pixmap(off != 0 ? off : on, size, QIcon::Disabled);
    result.addPixmap(grey, QIcon::Disabled, QIcon::Off);
    result.addPixmap(grey, QIcon::Disabled, QIcon::On);
    return result;
}

} // namespace nxkit
