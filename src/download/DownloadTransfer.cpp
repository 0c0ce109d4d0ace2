#include "download/DownloadTransfer.h"

#include "db/BankDataStore.h"
#include "download/DownloadFile.h"
#include "link/DownloadFrames.h"
#include "link/Frame.h"

#include <QDir>

namespace kovrin {

namespace {
const QString kScreen = QStringLiteral("frmsend");
const QString kNotInDownloadMode =
    QStringLiteral("Please goto Download Mode in the HandHeld Terminal and then Send Data!");
const QString kCheckCable = QStringLiteral("Please Check the Communication Cable");
}  // namespace

DownloadRules DownloadRules::forRevision(Revision r) {
    DownloadRules rules;
    if (r == Revision::V2_0) {
        rules.checkRecordNumbers = false;
        rules.closOrBackAbandons = false;
        rules.completionText = QStringLiteral("Download Completed Successfully");
        rules.finishOnCompletion = false;
        rules.holdButtonsWhileSending = false;
    }
    return rules;
}

DownloadTransfer::DownloadTransfer(Database& db, const AppSettings& settings, QString programFolder,
                                   link::SerialLink& port, link::TransferLog& log, QObject* parent)
    : QObject(parent),
      m_db(db),
      m_settings(settings),
      m_programFolder(std::move(programFolder)),
      m_port(port),
      m_log(log),
      m_held([this] { MSComm1_OnComm(); }, [this](QTimer* t) { onTick(t); }),
      m_clock([] { return QDateTime::currentDateTime(); }) {
    Timer1.setSingleShot(true);
    setTimings({});
    connect(&m_port, &link::SerialLink::readyRead, &m_held, &link::HeldEvents::arrival);
    connect(&m_port, &link::SerialLink::failed, this, [this](const QString& reason) {
        if (m_sending) {
            fail(reason + QStringLiteral(" The download was stopped; check the cable and the "
                                         "terminal, then press Send again."));
        }
    });
    for (QTimer* t : {&Timer1, &Timer2, &Timer3}) {
        connect(t, &QTimer::timeout, this, [this, t] { m_held.tick(t); });
    }
}

DownloadTransfer::~DownloadTransfer() {
    stop();
}

void DownloadTransfer::setTimings(const DownloadTimings& t) {
    Timer1.setInterval(t.buildDelayMs);
    Timer2.setInterval(t.responseMs);
    Timer3.setInterval(t.watchdogMs);
}

void DownloadTransfer::setTerminalPasswords(const QString& download, const QString& setup) {
    m_downloadPassword = download;
    m_setupPassword = setup;
}

MsgAnswer DownloadTransfer::message(const QString& text, MsgIcon icon) {
    return m_held.show({kScreen, text, icon, MsgButtons::Ok, {}});
}

void DownloadTransfer::setSending(bool sending) {
    if (m_sending != sending) {
        m_sending = sending;
        emit sendingChanged(sending);
    }
}

void DownloadTransfer::enable(QTimer& timer) {
    // Enabling a running timer leaves its period as it is.
    if (!timer.isActive()) {
        timer.start();
    }
}

void DownloadTransfer::stopTimers() {
    Timer1.stop();
    Timer2.stop();
    Timer3.stop();
}

void DownloadTransfer::stop() {
    stopTimers();
    m_held.forget();
    if (m_port.isOpen()) {
        m_port.close();
    }
    if (m_sending) {
        m_log.end(QStringLiteral("stopped: the download screen was closed"));
    }
    setSending(false);
}

// Ends the transfer after a failure: the operator is told, Send and Clear come back, and
// the entries keep their text.
void DownloadTransfer::fail(const QString& text) {
    stopTimers();
    m_held.forget();
    if (m_port.isOpen()) {
        m_port.close();
    }
    m_log.end(QStringLiteral("failed: ") + text);
    setSending(false);
    message(text, MsgIcon::Critical);
}

bool DownloadTransfer::writeFrame(const QByteArray& frame) {
    QString error;
    if (!m_port.write(frame, &error)) {
        fail(error + QStringLiteral(" The download was stopped; check the cable and the "
                                    "terminal, then press Send again."));
        return false;
    }
    m_log.sent(frame);
    return true;
}

void DownloadTransfer::showProgress() {
    emit progress(qMax(0, NextRecord - 2), AccountTotal);
}

void DownloadTransfer::cmdSend_Click(const DownloadEntries& entries) {
    if (m_sending) {
        if (m_rules.holdButtonsWhileSending) {
            return;
        }
        // Send pressed again while a transfer runs: the old one is dropped whole, timers and
        // state, before the new one starts.
        stopTimers();
        m_held.forget();
        m_log.end(QStringLiteral("replaced: Send was pressed again"));
        if (m_port.isOpen()) {
            m_port.close();
        }
        setSending(false);
    }
    const QString agent = entries.agent.trimmed();
    const QString date = entries.date.trimmed();
    if (agent.isEmpty()) {
        message(QStringLiteral("Enter Agent ID"), MsgIcon::Information);
        emit focusEntry(Entry::Agent);
        return;
    }
    if (date.isEmpty() || date.size() < 4) {
        message(QStringLiteral("Enter Date"), MsgIcon::Information);
        emit focusEntry(Entry::Date);
        return;
    }
    NextRecord = 0;
    ExpectedRecord = 0;
    SendingHeld = true;
    LinkDone = false;  // a second download in the same screen gets its time-out resends too
    stopTimers();
    m_held.forget();
    RxBuffer.clear();
    setSending(true);

    m_transactionDigit = entries.transactions.trimmed().isEmpty() ? QStringLiteral("1")
                                                                  : entries.transactions.trimmed();
    const QString agentNumber = QStringLiteral("%1").arg(agent.toInt(), 3, 10, QLatin1Char('0'));
    m_downloadKey = agentNumber + date;

    const QString wanted = downloadFilePath(m_settings.BankInfoPath, agentNumber, date);
    const QString path = findDownloadFile(wanted);
    if (path.isEmpty()) {
        setSending(false);
        message(QStringLiteral("File does not exist!"), MsgIcon::Critical);
        return;
    }
    const QString downLoadData = QDir(m_programFolder).filePath(QStringLiteral("DownLoadData"));
    if (!QDir().mkpath(downLoadData)) {
        setSending(false);
        message(QStringLiteral("The folder %1 could not be created. Check that the program "
                               "folder can be written to.")
                    .arg(QDir::toNativeSeparators(downLoadData)),
                MsgIcon::Critical);
        return;
    }
    OverSent = false;

    const DownloadFileContents contents = readDownloadFile(path);
    switch (contents.status) {
        case DownloadFileContents::Status::Ok:
            break;
        case DownloadFileContents::Status::ReadError:
            setSending(false);
            message(QStringLiteral("The file %1 could not be read: %2")
                        .arg(QDir::toNativeSeparators(path), contents.error),
                    MsgIcon::Critical);
            return;
        case DownloadFileContents::Status::FormatError:
            setSending(false);
            message(QStringLiteral("Error in DATA FORMAT"), MsgIcon::None);
            return;
        case DownloadFileContents::Status::TooManyRecords:
            setSending(false);
            message(
                QStringLiteral("No.of records has exceeded 2000,Please check the DownLoad File"),
                MsgIcon::Critical);
            return;
    }

    // The port is opened before anything is stored: a download that cannot reach the
    // terminal changes nothing.
    QString portError;
    if (!m_port.open(&portError)) {
        setSending(false);
        message(portError, MsgIcon::Critical);
        return;
    }

    // Store_BankData: the agent's rows are replaced in one transaction.
    m_agentId = contents.agentId;
    m_branchId = contents.branchId;
    m_fileName = pathWithoutRoot(path);
    const DbStatus stored =
        BankDataStore(m_db).replaceAgentRows(m_agentId, bankDataRows(contents, m_fileName));
    if (!stored) {
        m_port.close();
        setSending(false);
        message(QStringLiteral("The accounts of %1 could not be stored in the database: %2\n"
                               "Nothing was changed and nothing was sent.")
                    .arg(QDir::toNativeSeparators(path), stored.error),
                MsgIcon::Critical);
        return;
    }
    AccountTotal = int(contents.records.size());
    m_log.begin(QStringLiteral("download: agent %1, file %2, %3 accounts")
                    .arg(m_agentId.trimmed(), m_fileName, QString::number(AccountTotal)));
    FirstProtocol();
}

void DownloadTransfer::FirstProtocol() {
    HeaderPending = true;
    link::HeaderFields h;
    h.accountCount = AccountTotal;
    h.branchId = m_branchId;
    h.agentId = m_agentId;
    h.fontSize = m_settings.FontSize;
    h.bankName = m_settings.BankName;
    h.branchName = m_settings.BranchName;
    h.transactionDigit = m_transactionDigit;
    h.downloadPassword = m_downloadPassword;
    h.setupPassword = m_setupPassword;
    h.downloadKey = m_downloadKey;
    h.clock = m_clock();
    const link::BuildResult built = link::buildHeaderFrame(h);
    if (!built.ok) {
        fail(QStringLiteral("The header frame could not be built: %1").arg(built.reason));
        return;
    }
    TxFrame = built.frame;
    if (!writeFrame(TxFrame)) {
        return;
    }
    // The header is sent again each second until the terminal accepts it.
    Timer2.start();
}

void DownloadTransfer::SecondProtocol() {
    NextRecord = 2;
    DbStatus st;
    const QVector<BankDataRow> rows = BankDataStore(m_db).rowsToSend(m_agentId, m_fileName, &st);
    if (!st) {
        fail(QStringLiteral("The accounts could not be read from the database: %1").arg(st.error));
        return;
    }
    FrameTable.clear();
    FrameTable.reserve(rows.size() + 1);
    FrameTable.push_back(QByteArray());  // record 1 is never an account
    int c = 2;
    for (const BankDataRow& r : rows) {
        const link::BuildResult built =
            link::buildAccountFrame(c, {r.CategoryCode, r.SchemeCode, r.ACNumber, r.ACName,
                                        r.BalAmount, r.AgreedAmount, r.OpeningDate, r.Txndate});
        if (!built.ok) {
            fail(QStringLiteral("The account %1 (%2) cannot be sent: %3. Correct the download "
                                "file and press Send again.")
                     .arg(r.ACNumber.trimmed(), r.ACName.trimmed(), built.reason));
            return;
        }
        FrameTable.push_back(built.frame);
        ++c;
    }
    AccountTotal = int(rows.size());
    SendingHeld = false;
    ExpectedRecord = 2;
    m_log.event(QStringLiteral("header accepted; %1 account frames built").arg(AccountTotal));
    if (AccountTotal == 0) {
        SendOneByOne();  // nothing to send but the end frame
        return;
    }
    writeFrame(FrameTable[1]);
}

void DownloadTransfer::SendOneByOne() {
    if (SendingHeld) {
        return;
    }
    const int n = NextRecord;
    if (AccountTotal + 1 >= n) {
        ExpectedRecord = n;
        if (!writeFrame(FrameTable.value(n - 1))) {
            return;
        }
    } else if (!OverSent) {
        OverSent = true;
        TxFrame = link::buildEndFrame(link::kModeDownload);
        if (!writeFrame(TxFrame)) {
            return;
        }
    }
    enable(Timer2);
}

void DownloadTransfer::MSComm1_OnComm() {
    const QByteArray in = m_port.readAll();
    if (!m_sending) {
        return;  // nothing is expected: stray bytes are dropped
    }
    if (!in.isEmpty()) {
        m_log.received(in);
    }
    RxBuffer += in;
    Timer3.stop();
    if (RxBuffer.size() < link::kShortFrameSize) {
        enable(Timer2);
        Timer3.start();
        return;
    }
    RetryCount = 0;
    const link::DownloadReply reply = link::parseDownloadReply(RxBuffer);
    if (reply.abandon && m_rules.closOrBackAbandons) {
        RxBuffer.clear();
        stopTimers();
        m_log.end(QStringLiteral("abandoned: the terminal is not in download mode"));
        m_held.forget();
        if (m_port.isOpen()) {
            m_port.close();
        }
        setSending(false);
        message(kNotInDownloadMode, MsgIcon::Information);
        return;
    }
    const int p = reply.ackPos;
    if (p > 2 && reply.ackRecord) {
        ReceivedRecord = *reply.ackRecord;
    }
    const bool nack = reply.nack;
    RxBuffer.clear();

    if (p >= 1 && !HeaderPending && OverSent) {
        stopTimers();
        OverSent = false;
        LinkDone = true;
        m_log.end(QStringLiteral("completed: %1 accounts sent").arg(AccountTotal));
        m_held.forget();
        if (m_rules.finishOnCompletion && m_port.isOpen()) {
            m_port.close();
        }
        setSending(false);
        emit progress(AccountTotal, AccountTotal);
        message(m_rules.completionText, MsgIcon::Information);
        if (m_rules.finishOnCompletion) {
            emit completed();
        }
        return;
    }

    // Revision 2.0 takes any acknowledgement as the one expected.
    const bool numberMatches = !m_rules.checkRecordNumbers || ExpectedRecord == ReceivedRecord;
    if (HeaderPending) {
        if (p > 0 && numberMatches) {
            Timer2.stop();
            HeaderPending = false;
            Timer1.start();
        } else {
            // A rejected or wrongly numbered answer to the header: the response timer sends
            // the header again.
            m_log.event(QStringLiteral("header not accepted; it is sent again"));
            enable(Timer2);
        }
        Timer3.start();
        return;
    }

    if (numberMatches) {
        Timer2.stop();
        if (p > 0) {
            ++NextRecord;
            showProgress();
            SendOneByOne();
        } else if (nack) {
            m_log.event(QStringLiteral("NACK: record %1 sent again").arg(NextRecord));
            showProgress();
            SendOneByOne();
        }
    } else {
        Timer2.stop();
        m_log.event(QStringLiteral("acknowledged record %1 while %2 was expected: back two")
                        .arg(p > 0 ? QString::number(ReceivedRecord) : QStringLiteral("none"),
                             QString::number(ExpectedRecord)));
        NextRecord = qMax(NextRecord - 2, 2);
        showProgress();
        SendOneByOne();
    }
    if (m_sending) {
        Timer3.start();
    }
}

void DownloadTransfer::onTick(QTimer* timer) {
    if (timer == &Timer1) {
        Timer1.stop();
        SecondProtocol();
    } else if (timer == &Timer2) {
        Timer2_Timer();
    } else if (timer == &Timer3) {
        Timer3_Timer();
    }
}

void DownloadTransfer::Timer2_Timer() {
    if (LinkDone || !m_sending) {
        Timer2.stop();
        return;
    }
    ++RetryCount;
    Timer2.stop();
    RxBuffer.clear();
    m_log.event(QStringLiteral("no reply (time-out %1)").arg(RetryCount));
    if (RetryCount == 5) {
        RetryCount = 0;
        message(kCheckCable, MsgIcon::Critical);
        if (!m_sending) {
            return;
        }
    }
    if (HeaderPending) {
        if (writeFrame(TxFrame)) {
            Timer2.start();
        }
        return;
    }
    if (NextRecord > 1 && RetryCount == 1) {
        NextRecord = qMax(NextRecord - 1, 2);
    }
    SendOneByOne();
    if (m_sending) {
        enable(Timer2);
    }
}

void DownloadTransfer::Timer3_Timer() {
    Timer3.stop();
    if (!m_sending) {
        return;
    }
    RxBuffer.clear();
    m_log.event(QStringLiteral("no traffic for %1 ms").arg(Timer3.interval()));
    if (NextRecord > 1 && RetryCount == 1) {
        NextRecord = qMax(NextRecord - 1, 2);
    }
    SendOneByOne();
    if (m_sending) {
        Timer3.start();
    }
}

}  // namespace kovrin
