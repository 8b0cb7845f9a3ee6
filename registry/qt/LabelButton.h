#pragma once

#include <QLabel>

namespace registry {

// A label that acts as a button: dark background at rest, the window's colour while
// pressed, and its action on release of any mouse button, wherever the pointer is then
// (the label keeps the mouse from press to release). A disabled label gets no mouse events.
class LabelButton final : public QLabel
{
    Q_OBJECT
public:
    explicit LabelButton(const QString &caption, QWidget *parent = nullptr);

    bool isPressed() const { return m_pressed; }
    // The background now shown, as 0xRRGGBB.
    QRgb backgroundColour() const;

signals:
    void released();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void applyLook();

    bool m_pressed = false;
};

} // namespace registry
