#pragma once
// Pictures for the commands and controls that have no standard icon. They are drawn on a
// 24 x 24 grid at whatever size and scale a control asks for, so they stay sharp on any screen,
// and drawn faint when disabled.

#include <QIcon>

class QPainter;

namespace quorvane {

using TIconPaint = void (*)(QPainter&);

QIcon PaintedIcon(TIconPaint paint);

} // namespace quorvane
