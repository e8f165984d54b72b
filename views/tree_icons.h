#pragma once

#include <QIcon>

#include <functional>

namespace nxkit {

class icon_set;
class image_list;

// Picks the picture of a tree node from what the component's tree_images answers: its icon
// number, its overlay number and its state index (1 locked). The main window installs the
// shared icon set; until then a plain drawn stand-in serves.
using tree_icon_source = std::function<QIcon(int icon, int overlay, int state)>;

// The stand-in: a coloured square per icon number, a corner mark per overlay, greyed and
// crossed when locked. Composed once per combination.
QIcon fallback_tree_icon(int icon, int overlay, int state);

// The shared pictures: the component's icon from the small image list with the list's overlay
// mark `state` (1 locked, ...; the marks are state_image's, ui/icon_set.h, which the interlock
// table display draws too), and, with `second_icons`, the second icon (a device's
// connection state) in a column of its own to the left, so icons line up. The lists outlive
// the source.
tree_icon_source shared_tree_icons(const image_list& list, icon_set& icons, bool second_icons);

} // namespace nxkit
