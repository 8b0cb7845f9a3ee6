#include "updater/qt/UpdaterWindow.h"

#include "common/qt/QtColour.h"
#include "common/qt/Text1252.h"
#include "updater/app/StatusFit.h"
#include "updater/flow/Progress.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QLinearGradient>
#include <QListWidget>
#include <QPainter>

namespace updater {

namespace {

constexpr int kBarLeft = 9;
constexpr int kBarTop = 95;
constexpr int kBarHeight = 15;

QFont verdana(qreal points)
{
    QFont font;
    if (QFontDatabase::families().contains(QStringLiteral("Verdana")))
        font.setFamily(QStringLiteral("Verdana"));
    else
        font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

} // namespace

UpdaterWindow::UpdaterWindow(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QString::fromLatin1(kTitle));
    setFixedSize(kWidth, kHeight);
    createWidgets();
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, [this] { applyProgress(); });
}

void UpdaterWindow::createWidgets()
{
    m_log = new QListWidget(this);
    m_log->setGeometry(8, 8, kWidth - 16, 64);
    m_log->setFont(verdana(8.25));
    m_log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // One line per row: the list lays out a new line without measuring all the others.
    m_log->setUniformItemSizes(true);
    m_log->setStyleSheet(QStringLiteral(
        "QListWidget { background: #101820; color: #c2ad9a; border: 1px solid #4b5161; }"
        "QListWidget::item:selected { background: #4b5161; color: #ffffff; }"));

    m_status = new QLabel(common::FromWindows1252(kDesignStatus), this);
    m_status->setGeometry(9, 76, kWidth - 18, 16);
    m_status->setFont(verdana(8.25));
    m_status->setStyleSheet(QStringLiteral("color: #e6dccf;"));

    // Element 0 is the empty track and never changes; element 1 is the filled part.
    m_bar[0] = new QWidget(this);
    m_bar[0]->setGeometry(kBarLeft, kBarTop, kBarWidth, kBarHeight);
    m_bar[0]->setStyleSheet(QStringLiteral("background: #1e242f; border: 1px solid #4b5161;"));
    m_bar[0]->setAttribute(Qt::WA_StyledBackground);
    m_bar[1] = new QWidget(this);
    m_bar[1]->setGeometry(kBarLeft, kBarTop, 0, kBarHeight);
    m_bar[1]->setStyleSheet(QStringLiteral(
        "background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #8fb3d9, stop:1 #3c6c9e);"));
    m_bar[1]->setAttribute(Qt::WA_StyledBackground);

    // Two labels with one text: a shadow and the text above it.
    const QString design = common::FromWindows1252(kDesignBytes);
    for (int i = 0; i < 2; ++i) {
        m_bytes[i] = new QLabel(design, this);
        m_bytes[i]->setFont(verdana(6.75));
        m_bytes[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    m_bytes[0]->setGeometry(10, 115, kWidth - 18, 14);
    m_bytes[0]->setStyleSheet(QStringLiteral("color: #000000;"));
    m_bytes[1]->setGeometry(9, 114, kWidth - 18, 14);
    m_bytes[1]->setStyleSheet(QStringLiteral("color: #9aadc2;"));
}

void UpdaterWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0.0, common::ToQColor(common::Rgb(0x2f241e)));
    sky.setColorAt(0.6, common::ToQColor(common::Rgb(0x1e242f)));
    sky.setColorAt(1.0, common::ToQColor(common::Rgb(0x0c1018)));
    painter.fillRect(rect(), sky);
    painter.setPen(common::ToQColor(common::Rgb(0x61514b)));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setPen(common::ToQColor(common::Rgb(0x4b5161)));
    painter.drawRect(rect().adjusted(3, 3, -4, -4));
}

void UpdaterWindow::appendLogLine(const common::Bytes &text)
{
    m_log->addItem(common::FromWindows1252(text));
}

void UpdaterWindow::removeOldestLogLine()
{
    delete m_log->takeItem(0);
}

void UpdaterWindow::selectLogLine(int index)
{
    m_log->setCurrentRow(index);
    if (QListWidgetItem *item = m_log->item(index))
        m_log->scrollToItem(item);
}

void UpdaterWindow::showProgress(const ProgressRefresh::Changes &changes)
{
    if (changes.status) {
        // A long file name gives up its folders rather than the percentage; the whole text
        // is the label's tip then.
        const QFontMetrics metrics(m_status->font());
        const common::Bytes shown =
            FitStatusText(*changes.status, m_status->contentsRect().width(),
                          [&metrics](const common::Bytes &text) {
                              return metrics.horizontalAdvance(common::FromWindows1252(text));
                          });
        m_status->setText(common::FromWindows1252(shown));
        m_status->setToolTip(shown == *changes.status ? QString()
                                                      : common::FromWindows1252(*changes.status));
    }
    if (changes.bytes) {
        const QString text = common::FromWindows1252(*changes.bytes);
        m_bytes[0]->setText(text);
        m_bytes[1]->setText(text);
    }
    if (changes.barWidth)
        m_bar[1]->resize(*changes.barWidth, kBarHeight);
}

void UpdaterWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    userClosed();
}

} // namespace updater
