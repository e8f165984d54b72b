#include "ui/icon_set.h"

#include <QFile>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

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

int state_image(int state, bool show_manual) {
    static const int images[] = {0, 1400, 1403, 1404, 1439, 1444, 1443, 1445, 1462};
    if (state < 1 || state > 8)
        return 0;
    if (state == 6 && !show_manual)
        return 1452;
    return images[state];
}

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

QPixmap icon_set::with_corner_mark(int number, int mark, int size, double share) {
    auto key = std::make_tuple(number, mark, size, share);
    if (auto it = marked_.find(key); it != marked_.end())
        return it->second;
    QPixmap result(size, size);
    result.fill(Qt::transparent);
    {
        QPainter p(&result);
        p.drawPixmap(0, 0, pixmap(number, size));
        int side = std::max(1, static_cast<int>(std::lround(size * share)));
        int at = size - side;
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        // The pictures' squares take 24/32 of them; the ground is one pixel wider all round.
        double inset = side * 4.0 / 32 - 1;
        p.drawRoundedRect(QRectF(at + inset, at + inset, side - 2 * inset, side - 2 * inset), 2, 2);
        p.drawPixmap(at, at, pixmap(mark, side));
    }
    marked_[key] = result;
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
