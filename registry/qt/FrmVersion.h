#pragma once

#include "common/Bytes.h"
#include "registry/support/ReleaseNotes.h"

#include <QWidget>

class QPlainTextEdit;

namespace registry {

// The version window: the program's version in the caption and the release notes of that
// version, read from "R0.7.txt" beside the program each time the window is created.
class FrmVersion final : public QWidget
{
    Q_OBJECT
public:
    explicit FrmVersion(const common::Bytes &programFolder, QWidget *parent = nullptr);

    QString notesText() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QPlainTextEdit *m_txtUpdates;
};

} // namespace registry
