#include "upload/UploadFileNames.h"

#include <QCryptographicHash>

namespace kovrin {

bool fitsFileName(const QString& key) {
    if (key.trimmed().isEmpty()) {
        return false;
    }
    for (const QChar c : key) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F ||
            QStringLiteral("/\\:*?\"<>|").contains(c)) {
            return false;
        }
    }
    return true;
}

QString fallbackBackupFileName(const QDateTime& now) {
    return QStringLiteral("upload_") + now.toString(QStringLiteral("dd_MM_yy_HHmmss")) +
           QStringLiteral(".txt");
}

QString keptFileName(const QString& key, const QByteArray& count, const QByteArray& header) {
    if (fitsFileName(key)) {
        return key + QStringLiteral("-partial.kept");
    }
    const QByteArray hash = QCryptographicHash::hash(count + header, QCryptographicHash::Sha1);
    return QStringLiteral("upload-") + QString::fromLatin1(hash.toHex().left(12)) +
           QStringLiteral("-partial.kept");
}

}  // namespace kovrin
