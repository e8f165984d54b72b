#pragma once

#include <QIcon>
#include <QPixmap>

#include <map>
#include <tuple>

namespace nxkit {

// The state image of a tree node and of the interlock table's items, by state index: 1 locked
// (1400), 2 not under control (1403), 3 undefined (1404), 4 (1439), 5 unacknowledged (1444),
// 6 manual (1443 with HAND/SHOW, else 1452), 7 invalid (1445), 8 (1462); 0 for 0 and any other
// index. The trees' overlay list and the table display both read this one table.
int state_image(int state, bool show_manual);

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
    // `number` with `mark` drawn small (`share` of the size) in its lower right corner on a
    // white ground, so the mark's colour never merges with the picture's.
    QPixmap with_corner_mark(int number, int mark, int size, double share);
    // A two-state button's icon: `on` while checked, `off` while not, `disabled` (0: the
    // greyed picture) while disabled. A plain button passes off = 0.
    QIcon button_icon(int on, int off, int disabled, int size);

private:
    std::map<std::tuple<int, int, int, int>, QPixmap> cache_;
    std::map<std::tuple<int, int, int, double>, QPixmap> marked_;
};

} // namespace nxkit
