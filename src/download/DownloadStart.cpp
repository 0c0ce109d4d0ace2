// The start of a download: the Send button's checks, the import and the store of the
// accounts, the terminal's passwords and the header's fields.
#include "core/Messages.h"
#include "db/PasswordStore.h"
#include "download/DownloadTransfer.h"
#include "link/AgentsServed.h"

#include <QDir>

namespace kovrin {

namespace {
// The terminal's passwords go into four-digit fields: "0000" when there is none.
QString fourDigits(const QString& stored) {
    bool ok = false;
    const int v = stored.trimmed().toInt(&ok);
    return QStringLiteral("%1").arg(ok && v >= 0 ? v : 0, 4, 10, QLatin1Char('0'));
}
}  // namespace

void DownloadTransfer::setTerminalPasswords(const QString& download, const QString& setup) {
    m_fixedPasswords = true;
    m_downloadPassword = download;
    m_setupPassword = setup;
}

bool DownloadTransfer::readTerminalPasswords(QString* error) {
    if (m_fixedPasswords) {
        return true;
    }
    DbStatus st;
    const std::optional<PasswordRow> row = PasswordStore(m_db).load(&st);
    if (!st) {
        *error = st.error;
        return false;
    }
    m_downloadPassword = fourDigits(row ? row->download : QString());
    m_setupPassword = fourDigits(row ? row->setup : QString());
    return true;
}

link::HeaderFields DownloadTransfer::headerFields(int accounts) const {
    link::HeaderFields h;
    h.accountCount = accounts;
    h.branchId = m_file.branchId;
    h.agentId = m_file.agentId;
    h.fontSize = m_settings.FontSize;
    h.bankName = m_settings.BankName;
    h.branchName = m_settings.BranchName;
    h.transactionDigit = m_file.transactionDigit;
    h.downloadPassword = m_downloadPassword;
    h.setupPassword = m_setupPassword;
    h.downloadKey = m_file.downloadKey;
    h.clock = m_clock->now();
    return h;
}

void DownloadTransfer::cmdSend_Click(const DownloadEntries& entries) {
    if (m_sending) {
        if (m_rules.holdButtonsWhileSending) {
            return;
        }
        // Send pressed again while a transfer runs: the old one is dropped whole, timers and
        // state, before the new one starts.
        abandon(QStringLiteral("replaced: Send was pressed again"));
    }
    m_channel.stopTimers();
    m_channel.forget();
    m_replies.clear();
    m_state.startTransfer();  // a second download in the same screen gets its time-outs too
    setSending(true);

    const DownloadImport::Result imported = m_import.prepare(entries);
    if (!imported.download) {
        setSending(false);
        message(imported.message, imported.icon);
        if (imported.focus) {
            emit focusEntry(*imported.focus);
        }
        return;
    }
    m_file = *imported.download;
    // One terminal per agent at a time: another screen or row serving the agent would have
    // its accounts replaced under it.
    if (const QString holder = link::AgentsServed::serve(m_file.agentId, this, m_holder);
        !holder.isEmpty()) {
        setSending(false);
        message(QStringLiteral("Agent %1 is already being served by %2: one terminal per agent "
                               "at a time. Nothing was stored or sent; once that has ended, "
                               "press Send again.")
                    .arg(m_file.agentId.trimmed(), holder),
                MsgIcon::Information);
        return;
    }

    QString passwordError;
    if (!readTerminalPasswords(&passwordError)) {
        setSending(false);
        message(QStringLiteral("The terminal passwords could not be read: %1\nNothing was stored "
                               "and nothing was sent; press Send again.")
                    .arg(passwordError),
                MsgIcon::Critical);
        return;
    }

    // The header is built now as a check: a setting it cannot carry stops the download
    // before anything is stored.
    const link::BuildResult header = link::buildHeaderFrame(headerFields(int(m_file.rows.size())));
    if (!header.ok) {
        setSending(false);
        message(QStringLiteral("The header frame cannot be built: %1. Correct the setting on the "
                               "Configuration screen and press Send again. Nothing was stored "
                               "and nothing was sent.")
                    .arg(header.reason),
                MsgIcon::Critical);
        return;
    }

    // The port is opened before anything is stored: a download that cannot reach the
    // terminal changes nothing.
    QString portError;
    if (!m_channel.port().open(&portError)) {
        setSending(false);
        message(portError, MsgIcon::Critical);
        return;
    }
    const DbStatus stored = DownloadImport::store(m_db, m_file);
    if (!stored) {
        m_channel.port().close();
        setSending(false);
        message(QStringLiteral("The accounts of %1 could not be stored in the database: %2\n"
                               "Nothing was changed and nothing was sent.")
                    .arg(QDir::toNativeSeparators(m_file.path), stored.error),
                MsgIcon::Critical);
        return;
    }
    m_state.AccountTotal = int(m_file.rows.size());
    m_file.rows = {};  // stored; the frames are built from the database
    m_channel.log().begin(
        QStringLiteral("download: agent %1, file %2, %3 accounts")
            .arg(m_file.agentId.trimmed(), m_file.fileName, QString::number(m_state.AccountTotal)));
    if (const QString note = DownloadImport::replacedTextNote(m_file); !note.isEmpty()) {
        m_channel.log().event(note);
    }
    FirstProtocol();
}

}  // namespace kovrin
