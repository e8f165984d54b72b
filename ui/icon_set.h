#pragma once

#include <QIcon>
#include <QPixmap>

#include <map>
#include <tuple>

namespace nxkit {

// The program's own pictures, keyed by the numbers the views use: 1400-1464 for trees, lists
// and scheme elements, 1500-1558 for the toolbar and the dialogs. Each is an SVG in the
// resource ":/icons/<number>.svg", so it stays sharp at 16, 32 and 48 pixels. Rendered pixmaps
// and pictures with an overlay are composed once and kept.
class icon_set {
public:
    static bool has(int number);
    // A null icon for a number without a picture.
    QIcon icon(int number) const;
    // The picture at size x size; disabled mode greys it.
    QPixmap pixmap(int number, int size, QIcon::Mode mode = QIcon::Normal);
    // `number` with `overlay` drawn over its lower left part (overlay 0: the plain picture).
    QPixmap overlaid(int number, int overlay, int size, QIcon::Mode mode = QIcon::Normal);
    // A two-state button's icon: `on` while checked, `off` while not, `disabled` (0: the
    // greyed picture) while disabled. A plain button passes off = 0.
    QIcon button_icon(int on, int off, int disabled, int size);

private:
    std::map<std::tuple<int, int, int, int>, QPixmap> cache_;
};

} // namespace nxkit
