// The check-mark picture of the "Finalizar" button and of the password dialog's OK button,
// drawn in code: a 16 by 16 tick, red while the button is enabled and grey while it is disabled.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace varelum::ui {

// Side of the picture in device-independent pixels.
inline constexpr int CheckMarkSize = 16;

// The tick in one colour on a transparent 16 by 16 pixmap (at the given device pixel ratio).
QPixmap DrawCheckMark(const QColor& colour, qreal devicePixelRatio = 1.0);

// The button picture: the red tick for QIcon::Normal (and Active), the grey one for
// QIcon::Disabled, so a button shows the right one by itself when it is enabled or disabled.
QIcon CheckMarkIcon();

}  // namespace varelum::ui
