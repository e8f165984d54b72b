#pragma once

#include <QIcon>

namespace nxkit {

// Pictures of the views' own icon numbers (journal lines 1409, 1410, 1441, 1442; manual input
// 1535-1538; connection alarm 1525), drawn simply so the views work before the shell hands
// them the program's icon set.
QIcon view_icon(int number);

} // namespace nxkit
