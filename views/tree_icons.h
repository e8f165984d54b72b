#pragma once

#include <QIcon>

#include <functional>

namespace nxkit {

// Picks the picture of a tree node from what the component's tree_images answers: its icon
// number, its overlay number and its state index (1 locked). The main window installs the
// shared icon set; until then a plain drawn stand-in serves.
using tree_icon_source = std::function<QIcon(int icon, int overlay, int state)>;

// The stand-in: a coloured square per icon number, a corner mark per overlay, greyed and
// crossed when locked. Composed once per combination.
QIcon fallback_tree_icon(int icon, int overlay, int state);

} // namespace nxkit
