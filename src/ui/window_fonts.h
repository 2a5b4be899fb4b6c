// The fonts and colours the program's windows are drawn with. The windows were laid out for an
// 8-point sans-serif face at 96 dots per inch (11 pixels high) and an 8-point monospaced face for
// the entry fields; these are the nearest faces the host has, sized in pixels so that every text
// fits the fixed control sizes whatever the screen's resolution.
#pragma once

#include <QColor>
#include <QFont>

namespace varelum::ui {

// Height of the windows' text in pixels (8 points at 96 dots per inch).
inline constexpr int WindowFontPixelSize = 11;

// The windows' default face: a sans-serif of 11 pixels.
QFont DefaultWindowFont();
// The entry fields' face: a monospaced font of 11 pixels.
QFont MonospacedFont();
// `font` in bold.
QFont Bold(QFont font);

// Colours that carry meaning: black text, blue for correct reads, red for wrong reads.
inline const QColor WindowTextColour{0x00, 0x00, 0x00};
inline const QColor CorrectReadsColour{0x00, 0x00, 0xFF};
inline const QColor WrongReadsColour{0xFF, 0x00, 0x00};

}  // namespace varelum::ui
