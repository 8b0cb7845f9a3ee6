#include "registry/qt/FrmVersion.h"

#include "common/qt/Text1252.h"
#include "registry/app/WindowDescription.h"

#include <QFont>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <algorithm>

namespace registry {

FrmVersion::FrmVersion(const common::Bytes &programFolder, QWidget *parent)
    : QWidget(parent, Qt::Window), m_txtUpdates(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("frmVersion"));
    setWindowTitle(common::FromWindows1252(VersionWindowTitle()));
    m_txtUpdates->setObjectName(QStringLiteral("txtUpdates"));
    m_txtUpdates->setReadOnly(true);
    QFont font(QStringLiteral("Verdana"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    m_txtUpdates->setFont(font);

    QString notes = common::FromWindows1252(ReadReleaseNotes(programFolder));
    notes.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // The notes are wrapped by hand already: their lines are never wrapped again, and the
    // window is made wide enough for the longest of them.
    m_txtUpdates->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_txtUpdates->setPlainText(notes);
    const QFontMetrics metrics(m_txtUpdates->font());
    int widest = 0;
    for (const QString &line : notes.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int chrome = 2 * m_txtUpdates->frameWidth() +
                       2 * static_cast<int>(m_txtUpdates->document()->documentMargin()) +
                       m_txtUpdates->verticalScrollBar()->sizeHint().width() + kVersionMarginLeft +
                       kVersionMarginRight + 4; // the caret's width
    resize(std::max(kVersionWidth, widest + chrome), kVersionHeight);
}

QString FrmVersion::notesText() const
{
    return m_txtUpdates->toPlainText();
}

void FrmVersion::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_txtUpdates->setGeometry(kVersionMarginLeft, kVersionMarginTop,
                              std::max(0, width() - kVersionMarginLeft - kVersionMarginRight),
                              std::max(0, height() - kVersionMarginTop - kVersionMarginBottom));
}

} // namespace registry
