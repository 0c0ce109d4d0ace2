#include "upload/UnstoredBackups.h"

#include "core/SafeFile.h"
#include "link/AgentsServed.h"
#include "link/UploadFrames.h"
#include "upload/BankFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kovrin {

QString unstoredMarkPath(const QString& backupFile) {
    QString mark = backupFile;
    if (mark.endsWith(QLatin1String(".txt"))) {
        mark.chop(4);
    }
    return mark + QStringLiteral(".unstored");
}

QByteArray unstoredMarkText(const QDateTime& receivedAt) {
    return receivedAt.toString(Qt::ISODate).toLatin1() + '\n';
}

UnstoredBackup describeUnstored(const QString& backupFile) {
    UnstoredBackup b;
    b.file = backupFile;
    QFile f(backupFile);
    if (f.open(QIODevice::ReadOnly)) {
        // The count and the header are the first two lines of the listing.
        QByteArray head = f.readLine();
        head += f.readLine();
        const std::optional<QVector<QByteArray>> frames = parseBackupFile(head);
        if (frames && frames->size() == 2) {
            const link::CountInfo count = link::DecodeFifthProtocol(frames->at(0));
            const link::HeaderInfo header = link::DecodeThirdProtocol(frames->at(1));
            b.agentId = count.ok ? count.agentId : QString();
            b.agentDateKey = header.ok ? header.AgentDateKey : QString();
        }
    }
    QFile mark(unstoredMarkPath(backupFile));
    if (mark.open(QIODevice::ReadOnly)) {
        b.receivedAt =
            QDateTime::fromString(QString::fromLatin1(mark.readLine().trimmed()), Qt::ISODate);
    }
    if (!b.receivedAt.isValid()) {
        b.receivedAt = QFileInfo(backupFile).lastModified();  // a mark of an older version
    }
    return b;
}

void clearOlderMarks(const QString& programFolder, const QString& agentId,
                     const QDateTime& receivedAt) {
    const QDir dir(QDir(programFolder).filePath(backupFolderName()));
    const QString agent = link::AgentsServed::key(agentId);
    for (const QString& name : dir.entryList({QStringLiteral("*.unstored")}, QDir::Files)) {
        const UnstoredBackup b = describeUnstored(dir.filePath(name.chopped(9) + ".txt"));
        if (!b.agentId.isEmpty() && link::AgentsServed::key(b.agentId) == agent &&
            b.receivedAt <= receivedAt) {
            files::remove(GuardedPath(programFolder, backupFolderName() + u'/' + name));
        }
    }
}

}  // namespace kovrin
