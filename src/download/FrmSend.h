#pragma once

#include <QWidget>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace kovrin {

class ScreenContext;
class DownloadTransfer;
class TransferProgressView;
namespace link {
class SerialLink;
}

// "Send Data": the operator starts a download to the hand-held terminal and follows it.
class FrmSend : public QWidget {
    Q_OBJECT
public:
    // `port` replaces the configured serial port (tests); the screen does not own it.
    FrmSend(ScreenContext& ctx, QWidget* parent = nullptr, link::SerialLink* port = nullptr);
    ~FrmSend() override;

    DownloadTransfer& transfer() { return *m_transfer; }

    void cmdSend_Click();
    void cmdClear_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ClearEntries();
    void showProgress(int sent, int total);

    ScreenContext& m_ctx;
    std::unique_ptr<link::SerialLink> m_ownPort;
    std::unique_ptr<DownloadTransfer> m_transfer;
    QLineEdit* m_agent;
    QLineEdit* m_date;
    QLineEdit* m_transact;
    QLabel* m_record;
    QProgressBar* m_bar;
    TransferProgressView* m_progress;
    QPushButton* m_send;
    QPushButton* m_clear;
};

}  // namespace kovrin
