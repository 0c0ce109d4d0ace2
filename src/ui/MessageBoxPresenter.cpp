#include "ui/MessageBoxPresenter.h"

#include "core/OperatorLog.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace kovrin {

MsgAnswer showMessageBox(const MessageRequest& r) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(r.title);
    box.setText(r.text);
    switch (r.icon) {
        case MsgIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MsgIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
    }
    switch (r.buttons) {
        case MsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            if (r.defaultNo) {
                box.setDefaultButton(QMessageBox::No);
                box.setEscapeButton(QMessageBox::No);
            }
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Cancel:
            return MsgAnswer::Cancel;
        case QMessageBox::Yes:
            return MsgAnswer::Yes;
        case QMessageBox::No:
            return MsgAnswer::No;
        default:
            return MsgAnswer::Ok;
    }
}

MsgAnswer printMessage(const MessageRequest& r) {
    const QByteArray line = (OperatorLog::oneLine(r.text) + QLatin1Char('\n')).toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
    if (r.buttons == MsgButtons::YesNo) {
        return r.defaultNo ? MsgAnswer::No : MsgAnswer::Yes;
    }
    return MsgAnswer::Ok;
}

}  // namespace kovrin
