#pragma once

#include <QColor>
#include <QPushButton>

namespace tarvik {

// A button showing a colour; a click opens the colour dialog and a colour
// chosen there becomes the button's and is announced.
class ColourButton : public QPushButton {
    Q_OBJECT

  public:
    explicit ColourButton(const QString& dialogTitle, QWidget* parent = nullptr);

    QColor colour() const { return colour_; }
    // Shows colour without announcing it.
    void setColour(const QColor& colour);

  signals:
    void colourPicked(const QColor& colour);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void choose();

    QString dialogTitle_;
    QColor colour_;
};

} // namespace tarvik
