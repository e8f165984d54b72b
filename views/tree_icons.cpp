#include "views/tree_icons.h"

#include "ui/icon_set.h"
#include "ui/image_list.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>

#include <memory>

namespace nxkit {

QIcon fallback_tree_icon(int icon, int overlay, int state) {
    static QHash<quint64, QIcon> cache;
    quint64 id =
        (quint64(quint32(icon)) << 32) | (quint64(quint16(overlay)) << 16) | quint16(state);
    auto it = cache.constFind(id);
    if (it != cache.constEnd())
        return *it;
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        QColor colour = QColor::fromHsv((icon * 47) % 360, 140, 200);
        if (state == 1)
            colour = QColor(170, 170, 170);
        p.setPen(colour.darker(160));
        p.setBrush(colour);
        p.drawRoundedRect(QRectF(1.5, 1.5, 12, 12), 2, 2);
        if (overlay != 0) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor::fromHsv((overlay * 83) % 360, 230, 210));
            p.drawEllipse(QRectF(9, 9, 6.5, 6.5));
        }
        if (state == 1) {
            p.setPen(QPen(QColor(200, 30, 30), 1.6));
            p.drawLine(QPointF(3, 3), QPointF(12, 12));
            p.drawLine(QPointF(12, 3), QPointF(3, 12));
        }
    }
    QIcon result(pixmap);
    cache.insert(id, result);
    return result;
}

tree_icon_source shared_tree_icons(const image_list& list, icon_set& icons, bool second_icons) {
    auto cache = std::make_shared<QHash<quint64, QIcon>>();
    return [&list, &icons, second_icons, cache](int icon, int overlay, int state) {
        quint64 id =
            (quint64(quint32(icon)) << 32) | (quint64(quint16(overlay)) << 16) | quint16(state);
        auto it = cache->constFind(id);
        if (it != cache->constEnd())
            return *it;
        int size = list.size();
        QPixmap main = list.pixmap_of(icon, state);
        if (main.isNull())
            main = fallback_tree_icon(icon, 0, state).pixmap(size, size);
        QIcon result;
        if (!second_icons) {
            result = QIcon(main);
        } else {
            QPixmap both(size * 2 + 2, size);
            both.fill(Qt::transparent);
            QPainter p(&both);
            if (overlay != 0 && icon_set::has(overlay))
                p.drawPixmap(0, 0, icons.pixmap(overlay, size));
            p.drawPixmap(size + 2, 0, main);
            p.end();
            result = QIcon(both);
        }
        cache->insert(id, result);
        return result;
    };
}

} // namespace nxkit
