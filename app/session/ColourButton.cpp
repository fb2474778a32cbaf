#include "app/session/ColourButton.h"

#include <QColorDialog>
#include <QPainter>

namespace tarvik {

ColourButton::ColourButton(const QString& dialogTitle, QWidget* parent)
    : QPushButton(parent), dialogTitle_(dialogTitle) {
    setAutoDefault(false);
    setMinimumSize(64, 28);
    setMaximumHeight(28);
    connect(this, &QPushButton::clicked, this, &ColourButton::choose);
}

void ColourButton::setColour(const QColor& colour) {
    colour_ = colour;
    setToolTip(colour.name(QColor::HexRgb).toUpper());
    update();
}

void ColourButton::choose() {
    const QColor picked = QColorDialog::getColor(colour_, this, dialogTitle_);
    if (!picked.isValid())
        return;
    setColour(picked);
    emit colourPicked(picked);
}

void ColourButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    QPainter painter(this);
    const QRect swatch = rect().adjusted(6, 5, -6, -5);
    painter.fillRect(swatch, colour_);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(swatch.adjusted(0, 0, -1, -1));
}

} // namespace tarvik
