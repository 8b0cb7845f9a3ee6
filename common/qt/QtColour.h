#pragma once

#include "common/Colour.h"

#include <QColor>

namespace common {

inline QColor ToQColor(Rgb colour)
{
    return QColor(colour.red(), colour.green(), colour.blue());
}

} // namespace common
