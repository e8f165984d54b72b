#pragma once

#include <QImage>
#include <QColor>

#include <string>

namespace ilktest {

// Pixel samples: a colour within `tolerance` per channel.
bool near(QColor actual, QColor expected, int tolerance = 40);
std::string describe(QColor c);

} // namespace ilktest
