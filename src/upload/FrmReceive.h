#pragma once

#include <QWidget>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kovrin {

class TransferProgressView;
class ScreenContext;
class RestoreData;
class UploadTransfer;
namespace link {
class SerialLink;
}

// "Receive Data": reads the day's collections from the hand-held terminal.
class FrmReceive : public QWidget {
    Q_OBJECT
public:
    // `port` replaces the configured serial port (tests); the screen does not own it.
    FrmReceive(ScreenContext& ctx, QWidget* parent = nullptr, link::SerialLink* port = nullptr);
    ~FrmReceive() override;

    UploadTransfer& transfer() { return *m_transfer; }
    RestoreData& restoreData() { return *m_restore; }

    // Writes the bank upload file and the check file again from the stored collections of
    // the agent uploaded last (or one the operator chooses), without a new transfer.
    void writeFilesAgain();
    // Stores again the upload whose store failed on this screen, or an upload received but
    // never stored, from its backup file.
    void storeAgain();
    // What closing the screen now would stop or drop, for the operator's question; empty
    // when nothing.
    QString pendingWork() const;
    // Stops the upload (the program is ending): what it received stays on disk.
    void stopTransfer(const QString& why);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void updateStoreAgain();
    // Another screen or row serving the agent refuses a rewrite of its files or rows.
    bool agentIsFree(const QString& agentId, const QString& what);

private:
    ScreenContext& m_ctx;
    std::unique_ptr<link::SerialLink> m_ownPort;
    std::unique_ptr<RestoreData> m_restore;
    std::unique_ptr<UploadTransfer> m_transfer;
    QPushButton* m_receive;
    QPushButton* m_rewrite;
    QPushButton* m_storeAgain;
    QLabel* m_resumed;
    QLabel* m_inProgress;
    QLabel* m_totalTransact;
    QLabel* m_totalAmount;
    QLabel* m_date;
    QLabel* m_agent;
    QLabel* m_record;
    QProgressBar* m_bar;
    TransferProgressView* m_progress;
    bool m_loaded = false;
};

}  // namespace kovrin
