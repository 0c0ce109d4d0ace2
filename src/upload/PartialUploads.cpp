#include "upload/PartialUploads.h"

#include "link/UploadFrames.h"
#include "upload/BankFiles.h"

#include <QDir>
#include <QSaveFile>

namespace kovrin {

PartialUploads::PartialUploads(ProgramFolder folder) : m_folder(std::move(folder)) {}

QString PartialUploads::keep(const QString& port, const PartialUpload& upload) {
    m_kept.insert(port, upload);
    UploadData data;
    data.RecordFrames = upload.RecordFrames;
    data.TotalRecords = qMax(0, upload.nextRecord - 2);
    const QString key = link::DecodeThirdProtocol(upload.RecordFrames.value(1)).AgentDateKey;
    QString name = backupFileName(key, m_clock->now().date());
    name.replace(QStringLiteral(".txt"), QStringLiteral("-partial.txt"));
    if (key.left(3).contains(u'/') || key.left(3).contains(u'\\')) {
        return {};  // an agent that cannot name a file: kept in memory only
    }
    const QString folder = m_folder.filePath(backupFolderName());
    QSaveFile f(QDir(folder).filePath(name));
    if (!QDir().mkpath(folder) || !f.open(QIODevice::WriteOnly) ||
        f.write(CreateFlatFile1(data)) < 0 || !f.commit()) {
        return {};
    }
    return f.fileName();
}

std::optional<PartialUpload> PartialUploads::take(const QString& port) {
    const auto it = m_kept.find(port);
    if (it == m_kept.end()) {
        return std::nullopt;
    }
    PartialUpload p = *it;
    m_kept.erase(it);
    return p;
}

}  // namespace kovrin
