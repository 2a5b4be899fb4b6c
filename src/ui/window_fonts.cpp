// Font choice with fallbacks: the faces the layout was made for first, then the metric-compatible
// and the common free faces of Linux desktops, then whatever fontconfig offers for the style.
#include "ui/window_fonts.h"

#include <QStringList>

namespace varelum::ui {

QFont DefaultWindowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(WindowFontPixelSize);
    return font;
}

QFont MonospacedFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                      QStringLiteral("DejaVu Sans Mono")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(WindowFontPixelSize);
    return font;
}

QFont Bold(QFont font) {
    font.setBold(true);
    return font;
}

}  // namespace varelum::ui
