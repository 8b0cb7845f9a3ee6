#include "registry/qt/LabelButton.h"

#include "common/qt/QtColour.h"
#include "registry/app/WindowDescription.h"

#include <QMouseEvent>

namespace registry {

LabelButton::LabelButton(const QString &caption, QWidget *parent) : QLabel(caption, parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
    setCursor(Qt::PointingHandCursor);
    setMinimumHeight(22);
    applyLook();
}

QRgb LabelButton::backgroundColour() const
{
    return palette().color(QPalette::Window).rgb() & 0xFFFFFF;
}

void LabelButton::mousePressEvent(QMouseEvent *event)
{
    m_pressed = true;
    applyLook();
    event->accept();
}

void LabelButton::mouseReleaseEvent(QMouseEvent *event)
{
    m_pressed = false;
    applyLook();
    event->accept();
    emit released();
}

void LabelButton::applyLook()
{
    QPalette pal = palette();
    const QColor back = common::ToQColor(m_pressed ? kButtonPressedColour : kButtonIdleColour);
    const QColor text = common::ToQColor(kButtonTextColour);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Window, back);
        pal.setColor(group, QPalette::WindowText, text);
    }
    // A disabled label-button keeps its background and shows its caption dimmed but legible.
    pal.setColor(QPalette::Disabled, QPalette::Window, back);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, text.darker(160));
    setPalette(pal);
}

} // namespace registry
