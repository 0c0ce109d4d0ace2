#include "app/UpgradeWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QProgressDialog>
#include <algorithm>

namespace kovrin {

namespace {

constexpr int kScale = 1000;  // the bar counts in thousandths

}  // namespace

UpgradeWindow::UpgradeWindow(QString filePath) : m_filePath(std::move(filePath)) {}

UpgradeWindow::~UpgradeWindow() = default;

void UpgradeWindow::show(const UpgradeProgress& progress) {
    if (progress.over) {
        m_dialog.reset();  // the main menu, or the message that says why not, comes next
        return;
    }
    if (!m_dialog) {
        m_dialog = std::make_unique<QProgressDialog>();
        m_dialog->setObjectName(QStringLiteral("frmUpgrade"));
        m_dialog->setWindowTitle(QStringLiteral("Kovrin Hand-Held Interface Software"));
        m_dialog->setCancelButton(nullptr);
        m_dialog->setWindowModality(Qt::ApplicationModal);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setMinimumWidth(520);
    }
    m_dialog->setLabelText(
        QStringLiteral("The database file %1 is from an earlier version of the program and is "
                       "being upgraded: %2.\nThis is done once. Please wait; the main menu "
                       "opens when it is done.")
            .arg(QDir::toNativeSeparators(m_filePath), progress.step));
    if (progress.total <= 0) {
        m_dialog->setRange(0, 0);  // not known yet: a busy bar
    } else {
        m_dialog->setRange(0, kScale);
        m_dialog->setValue(
            int(std::clamp<qint64>(progress.done * kScale / progress.total, 0, kScale)));
    }
    if (!m_dialog->isVisible()) {
        m_dialog->show();
    }
    // Painted now: the upgrade holds the event loop until it is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool UpgradeWindow::isShown() const {
    return m_dialog && m_dialog->isVisible();
}

}  // namespace kovrin
