// Placing the program's windows: each opens in the centre of the screen it is on.
#pragma once

class QWidget;

namespace varelum::ui {

// Moves the top-level `window` so that its frame sits in the middle of the available area of
// its screen (the primary screen when it has none yet).
void CentreOnScreen(QWidget& window);

}  // namespace varelum::ui
