#include "views/view_icons.h"

#include <QPainter>
#include <QPixmap>

namespace nxkit {

namespace {

QIcon disc(QColor fill, bool acknowledged) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(acknowledged ? fill.lighter(160) : fill);
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    if (acknowledged) {
        p.setPen(QPen(Qt::black, 1.5));
        p.drawLine(QPointF(5, 8), QPointF(7, 11));
        p.drawLine(QPointF(7, 11), QPointF(11.5, 4.5));
    }
    return QIcon(pixmap);
}

QIcon letter(QColor fill, const QString& text) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(2.5, 2.5, 27, 27), 4, 4);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(14);
    p.setFont(font);
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, text);
    return QIcon(pixmap);
}

} // namespace

QIcon view_icon(int number) {
    switch (number) {
    case 1409:
        return disc(QColor(220, 30, 30), false);
    case 1410:
        return disc(QColor(30, 170, 60), false);
    case 1441:
        return disc(QColor(220, 30, 30), true);
    case 1442:
        return disc(QColor(30, 170, 60), true);
    case 1535:
        return letter(QColor(230, 60, 60), QStringLiteral("Р1"));
    case 1536:
        return letter(QColor(60, 180, 80), QStringLiteral("Р0"));
    case 1537:
        return letter(QColor(200, 200, 200), QStringLiteral("А"));
    case 1538:
        return letter(QColor(240, 240, 240), QStringLiteral("×"));
    case 1525:
        return letter(QColor(255, 200, 0), QStringLiteral("!"));
    default:
        return {};
    }
}

} // namespace nxkit
