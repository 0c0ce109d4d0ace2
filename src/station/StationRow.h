#pragma once

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/MessageRequest.h"
#include "core/OperatorLog.h"
#include "core/ProgramFolder.h"
#include "core/Revision.h"
#include "db/Database.h"
#include "download/DownloadTransfer.h"
#include "link/PortMapping.h"
#include "link/TransferLog.h"
#include "upload/UploadTransfer.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace kovrin {

class RestoreData;
namespace link {
class SerialPortLink;
}

// What the rows of the Transfer Station use of the program: the same database, settings,
// folder, logs and clock as the Send Data and Receive Data screens.
struct StationServices {
    Database& db;
    const AppSettings& settings;
    ProgramFolder folder;
    link::TransferLog& transferLog;
    OperatorLog& operatorLog;
    const Clock& clock;
    Revision revision = Revision::V2_1;
    // The devices the ports are mapped to and those the system reports; without it a port
    // names its ports/comN link only.
    link::PortDirectory* ports = nullptr;
};

enum class StationDirection { Download, Upload };

// What the operator typed in a row: as on the Send Data screen, and the direction.
struct StationEntries {
    QString agent;
    QString date;
    QString transactions;
    StationDirection direction = StationDirection::Download;
};

// Where a row stands.
enum class RowState {
    Idle,       // nothing started yet
    Running,    // a download or upload runs on the row's port
    Asking,     // its transfer waits for the operator's answer to a prompt in the row
    Completed,  // the transfer ended as it should (its message says how it went)
    Failed,     // the transfer ended without completing; its message says why
    Stopped,    // stopped by the operator (the row's Stop, or Cancel at a prompt)
    Unstored,   // an upload was received but could not be made safe: Start stores it again
    Differs,    // an upload was stored, but what was stored differs from the terminal's totals
};

// One port of the Transfer Station: a download or an upload on its own port with its own
// transfer object, the very transfers of the Send Data and Receive Data screens. Its
// messages are shown in the row, in the station's words, and written to operator.log with
// the port; they hold no other row. Of the messages of one step (all shown at once, as the
// store's outcome, problems and list of collections kept out of the bank file) the row keeps
// the most severe, whole, and all of them in its details. A prompt (the checksum prompt) waits in
// the row for answer(), holding only this row's transfer: no event loop is run for it, so any
// number of rows may wait at once and each goes on as soon as it is answered.
class StationRow : public QObject {
    Q_OBJECT
public:
    StationRow(int port, StationServices services, QObject* parent = nullptr);
    ~StationRow() override;

    int port() const { return m_port; }
    // The device the port number stands for on this machine, and whether it is there, by what
    // the system reported when it was last looked at.
    link::PortDevice device() const;

    // Time-outs shorter than the program's (tests).
    void setTimings(const DownloadTimings& download, const UploadTimings& upload);

    // Starts the transfer the entries ask for on this row's port; false when it did not
    // start (the reason is the row's message). An upload that could not be stored is stored
    // again instead, from the frames kept.
    bool start(const StationEntries& entries);
    // Shows why the row was not started (a row that is busy keeps what it shows).
    void refuse(const QString& text);
    // Stops the row's transfer; a prompt waiting in the row is withdrawn.
    void stop(const QString& why = QStringLiteral("the row was stopped on the Transfer Station"));
    // The answer to the prompt waiting in the row (OK or Cancel).
    void answer(MsgAnswer answer);

    RowState state() const { return m_state; }
    // A transfer runs, or waits for an answer.
    bool isBusy() const { return m_state == RowState::Running || m_state == RowState::Asking; }
    const StationEntries& entries() const { return m_entries; }
    QString lastMessage() const { return m_message; }
    MsgIcon lastIcon() const { return m_icon; }
    // Every message of the step the row's message comes from.
    QString details() const { return m_details; }
    // The prompt waiting for an answer; empty when none. A Yes/No question is answered with
    // the row's OK (Yes) and Cancel (No), captioned Yes and No.
    QString prompt() const { return m_prompt; }
    bool promptIsYesNo() const { return m_promptYesNo; }
    int done() const { return m_done; }
    int total() const { return m_total; }

    // The row's transfers (tests).
    DownloadTransfer* download() const { return m_download.get(); }
    UploadTransfer* upload() const { return m_upload.get(); }

    // How a row's messages are written to operator.log: "Port 3: <text>".
    static QString logText(int port, const QString& text);
    static QString stateText(RowState state, StationDirection direction);
    // A transfer's message in the station's words: the station starts a row again with its
    // Start button, where the single screens have Send and Receive.
    static QString stationWords(const QString& text);

signals:
    // State, message or prompt changed.
    void changed();
    void progress(int done, int total);

private:
    MsgAnswer present(const MessageRequest& request);
    void ask(const MessageRequest& request, std::function<void(MsgAnswer)> answered);
    void note(const QString& text, MsgIcon icon);
    void setState(RowState state);
    void makeDownload();
    void makeUpload();
    bool transferActive() const;
    // After a step of the transfer has run to its end: has the transfer ended, and how?
    void settleLater();
    void settle();
    void releasePort();

    const int m_port;
    StationServices m_services;
    std::unique_ptr<link::SerialPortLink> m_line;
    std::unique_ptr<RestoreData> m_restore;
    std::unique_ptr<DownloadTransfer> m_download;
    std::unique_ptr<UploadTransfer> m_upload;
    DownloadTimings m_downloadTimings;
    UploadTimings m_uploadTimings;
    StationEntries m_entries;
    RowState m_state = RowState::Idle;
    QString m_message;
    MsgIcon m_icon = MsgIcon::None;
    QString m_prompt;
    bool m_promptYesNo = false;
    std::function<void(MsgAnswer)> m_answered;
    QString m_details;
    QStringList m_stepMessages;
    int m_stepSeverity = -1;
    bool m_stepOpen = false;  // messages now belong to the step of the message before
    int m_done = 0;
    int m_total = 0;
    bool m_stopping = false;   // the operator stopped the row
    bool m_cancelled = false;  // Cancel at the checksum prompt ended the upload
    bool m_settleQueued = false;
};

}  // namespace kovrin
