// Draws the check mark with QPainter: a thick polyline from the left middle down to the bottom
// third and up to the top right, with rounded joints so that it reads well at 16 pixels.
#include "ui/check_mark.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace varelum::ui {

namespace {

const QColor EnabledColour(0xC0, 0x00, 0x00);
const QColor DisabledColour(0x9A, 0x9A, 0x9A);

}  // namespace

QPixmap DrawCheckMark(const QColor& colour, qreal devicePixelRatio) {
    const int side = qRound(CheckMarkSize * devicePixelRatio);
    QPixmap pixmap(side, side);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);

    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    QPainterPath tick;
    tick.moveTo(2.5, 8.5);
    tick.lineTo(6.5, 12.5);
    tick.lineTo(13.5, 3.5);
    painter.drawPath(tick);
    return pixmap;
}

QIcon CheckMarkIcon() {
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        const QPixmap enabled = DrawCheckMark(EnabledColour, ratio);
        icon.addPixmap(enabled, QIcon::Normal);
        icon.addPixmap(enabled, QIcon::Active);
        icon.addPixmap(enabled, QIcon::Selected);
        icon.addPixmap(DrawCheckMark(DisabledColour, ratio), QIcon::Disabled);
    }
    return icon;
}

}  // namespace varelum::ui
