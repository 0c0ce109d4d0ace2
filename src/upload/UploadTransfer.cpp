#include "upload/UploadTransfer.h"

#include "link/Frame.h"

namespace kovrin {

namespace {
const QString kScreen = QStringLiteral("frmReceive");
const QString kCheckCable = QStringLiteral("Please Check the Communication Cable");
}  // namespace

UploadTransfer::UploadTransfer(link::SerialLink& port, link::TransferLog& log, Restore restore,
                               QObject* parent)
    : QObject(parent),
      m_port(port),
      m_log(log),
      m_restore(std::move(restore)),
      m_held([this] { MSComm1_OnComm(); }, [this](QTimer* t) { onTick(t); }) {
    DrainTimer.setSingleShot(true);
    setTimings({});
    connect(&m_port, &link::SerialLink::readyRead, &m_held, &link::HeldEvents::arrival);
    connect(&m_port, &link::SerialLink::failed, this, [this](const QString& reason) {
        if (m_active && !m_finished) {
            end(QStringLiteral("failed: ") + reason);
            emit receiveEnabled(true);
            message(reason + QStringLiteral(" The upload was stopped; check the cable and the "
                                            "terminal, then press Receive again."),
                    MsgIcon::Critical);
        }
    });
    for (QTimer* t : {&Timer1, &Timer3, &DrainTimer}) {
        connect(t, &QTimer::timeout, this, [this, t] { m_held.tick(t); });
    }
}

UploadTransfer::~UploadTransfer() {
    stop();
}

void UploadTransfer::setTimings(const UploadTimings& t) {
    Timer1.setInterval(t.replyMs);
    Timer3.setInterval(t.inactivityMs);
    DrainTimer.setInterval(t.drainMs);
}

MsgAnswer UploadTransfer::message(const QString& text, MsgIcon icon, MsgButtons buttons) {
    return m_held.show({kScreen, text, icon, buttons, {}});
}

void UploadTransfer::enable(QTimer& timer) {
    // Enabling a running timer leaves its period as it is.
    if (!timer.isActive()) {
        timer.start();
    }
}

void UploadTransfer::Form_Load() {
    LinkDone = false;
    emit receiveEnabled(true);
    QString error;
    if (!m_port.open(&error)) {
        message(error, MsgIcon::Critical);
    }
}

void UploadTransfer::stop() {
    Timer1.stop();
    Timer3.stop();
    DrainTimer.stop();
    m_held.forget();
    if (m_active && !m_finished) {
        m_log.end(QStringLiteral("stopped: the upload screen was closed"));
    }
    m_active = false;
    m_draining = false;
    if (m_port.isOpen()) {
        m_port.close();
    }
}

void UploadTransfer::end(const QString& logText) {
    Timer1.stop();
    Timer3.stop();
    DrainTimer.stop();
    m_held.forget();
    m_active = false;
    m_draining = false;
    m_log.end(logText);
}

bool UploadTransfer::request(int recordNo) {
    RecordNo = recordNo;
    TxFrame = link::buildRequestFrame(quint16(recordNo));
    QString error;
    if (!m_port.write(TxFrame, &error)) {
        end(QStringLiteral("failed: ") + error);
        emit receiveEnabled(true);
        message(error + QStringLiteral(" The upload was stopped; check the cable and the "
                                       "terminal, then press Receive again."),
                MsgIcon::Critical);
        return false;
    }
    m_log.sent(TxFrame);
    return true;
}

void UploadTransfer::FourthProtocol() {
    if (request(RecordNo)) {
        enable(Timer1);
    }
}

void UploadTransfer::cmdSend_Click() {
    if (m_finished) {
        return;  // one opening of the screen performs one upload
    }
    if (!m_port.isOpen()) {
        QString error;
        if (!m_port.open(&error)) {
            message(QStringLiteral("The serial port is not open, so nothing can be received. %1")
                        .arg(error),
                    MsgIcon::Critical);
            return;
        }
    }
    if (!m_active) {
        m_log.begin(QStringLiteral("upload"));
    }
    TotalRecords = 5000;
    CrcErrorCount = 0;
    RetryCount = 0;
    RxBuffer.clear();
    RecordFrames.clear();
    HeaderDecoded = false;
    Timer1.stop();
    Timer3.stop();
    m_active = true;
    request(0);  // FifthProtocol: no timer runs for the count request
}

void UploadTransfer::MSComm1_OnComm() {
    const QByteArray in = m_port.readAll();
    if (m_draining || !m_active || m_finished) {
        if (!in.isEmpty() && m_active) {
            m_log.received(in);
        }
        return;  // thrown away: nothing is expected
    }
    if (!in.isEmpty()) {
        m_log.received(in);
    }
    RxBuffer += in;
    Timer3.stop();
    if (RxBuffer.size() < link::kLongFrameSize) {
        enable(Timer1);  // further pieces of the same reply do not restart it
        if (link::findWord(RxBuffer, "NACK") > 0) {
            RxBuffer.clear();
            m_log.event(QStringLiteral("NACK for record %1").arg(RecordNo));
            message(QStringLiteral("No Acknowledgement from HandHeld Terminal"),
                    MsgIcon::Information);
        }
        return;
    }
    RetryCount = 0;
    Timer1.stop();
    if (RecordFrames.size() <= RecordNo) {
        RecordFrames.resize(RecordNo + 1);
    }
    RecordFrames[RecordNo] = RxBuffer;
    const QByteArray frame = RxBuffer;
    RxBuffer.clear();

    if (!link::CheckCRC(frame)) {
        m_log.event(QStringLiteral("bad checksum on record %1").arg(RecordNo));
        // Whatever else the terminal sends now belongs to the bad reply: it is thrown away
        // for a moment before the record is asked for again.
        m_draining = true;
        m_port.readAll();
        DrainTimer.start();
        return;
    }

    if (RecordNo == 0) {
        emit receiveEnabled(false);
        const link::CountInfo count = link::DecodeFifthProtocol(frame);
        if (!count.ok) {
            end(QStringLiteral("failed: bad count record: ") + count.reason);
            emit receiveEnabled(true);
            message(QStringLiteral("The terminal's count record cannot be read (%1). Nothing was "
                                   "stored; press Receive to try again.")
                        .arg(count.reason),
                    MsgIcon::Critical);
            return;
        }
        TotalRecords = count.TotalRecords;
        m_agentId = count.agentId;
        m_log.event(QStringLiteral("count: %1 transaction records, agent %2")
                        .arg(TotalRecords)
                        .arg(m_agentId.trimmed()));
        if (request(1)) {  // ThirdProtocol
            Timer3.start();
        }
        return;
    }

    if (RecordNo == 1) {
        const link::HeaderInfo header = link::DecodeThirdProtocol(frame);
        if (!header.ok) {
            end(QStringLiteral("failed: bad header record: ") + header.reason);
            emit receiveEnabled(true);
            message(QStringLiteral("The terminal's header record cannot be read (%1). Nothing "
                                   "was stored; press Receive to try again.")
                        .arg(header.reason),
                    MsgIcon::Critical);
            return;
        }
        m_header = header;
        HeaderDecoded = true;
        emit headerShown(header.agentNumber, header.dateDdmm, header.TotalTransactions,
                         header.amountText);
        if (TotalRecords == 0) {
            lastRecord();  // no transaction records follow the header
            return;
        }
        RecordNo = 2;
        FourthProtocol();
        Timer3.start();
        return;
    }

    const int k = RecordNo;
    const bool isLast = k - 1 == TotalRecords || k - 1 == kMaxUploadRecords;
    emit inProgress(true);
    emit progress(k - 1, TotalRecords);
    if (!isLast) {
        ++RecordNo;
        CrcErrorCount = 0;
        FourthProtocol();
        Timer3.start();
        return;
    }
    lastRecord();
}

void UploadTransfer::lastRecord() {
    LinkDone = true;
    m_finished = true;
    Timer1.stop();
    Timer3.stop();
    RxBuffer.clear();
    emit inProgress(true);
    if (HeaderDecoded) {
        const QByteArray over = link::buildEndFrame(link::kModeUpload);
        QString error;
        if (m_port.write(over, &error)) {
            TxFrame = over;
            m_log.sent(over);
        } else {
            m_log.event(QStringLiteral("the end frame could not be sent: ") + error);
        }
    }
    UploadData data;
    data.RecordFrames = RecordFrames;
    data.TotalRecords = qMin(TotalRecords, kMaxUploadRecords);
    data.agentId = m_agentId;
    data.header = m_header;
    m_log.event(QStringLiteral("last record received; storing %1 transaction records")
                    .arg(data.TotalRecords));
    m_restore(data, [this](const MessageRequest& r) { return m_held.show(r); });
    emit inProgress(false);
    end(QStringLiteral("completed"));
}

void UploadTransfer::afterBadChecksum() {
    m_draining = false;
    m_port.readAll();
    ++CrcErrorCount;
    if (CrcErrorCount == 15) {
        const MsgAnswer a = message(QStringLiteral("Error in CRC,Press OK to try again or Cancel "
                                                   "to Quit"),
                                    MsgIcon::Critical, MsgButtons::OkCancel);
        if (a == MsgAnswer::Cancel) {
            stop();
            emit closeRequested();
            return;
        }
        CrcErrorCount = 0;
    }
    if (!m_active) {
        return;
    }
    FourthProtocol();
    Timer3.start();
}

void UploadTransfer::onTick(QTimer* timer) {
    if (timer == &Timer1) {
        Timer1_Timer();
    } else if (timer == &Timer3) {
        Timer3_Timer();
    } else if (timer == &DrainTimer) {
        afterBadChecksum();
    }
}

void UploadTransfer::Timer1_Timer() {
    if (LinkDone || !m_active) {
        Timer1.stop();
        return;
    }
    ++RetryCount;
    Timer1.stop();
    RxBuffer.clear();
    m_log.event(QStringLiteral("no complete reply for record %1 (time-out %2)")
                    .arg(RecordNo)
                    .arg(RetryCount));
    if (RetryCount == 5) {
        RetryCount = 0;
        message(kCheckCable, MsgIcon::Critical);
        if (!m_active) {
            return;
        }
    }
    if (RecordNo > 1 && RetryCount == 1) {
        --RecordNo;
    }
    FourthProtocol();
}

void UploadTransfer::Timer3_Timer() {
    Timer3.stop();
    if (!m_active || m_finished) {
        return;
    }
    m_log.event(QStringLiteral("no traffic for %1 ms").arg(Timer3.interval()));
    if (RecordNo > 1 && RetryCount == 1) {
        --RecordNo;
    }
    FourthProtocol();
    if (m_active) {
        Timer3.start();
    }
}

}  // namespace kovrin
