#include "upload/PartialUploads.h"

#include "link/UploadFrames.h"
#include "upload/BankFiles.h"

#include "core/SafeFile.h"

#include <QDir>

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
    const GuardedPath path(m_folder.path(), backupFolderName() + QLatin1Char('/') + name);
    if (!files::writeWhole(path, CreateFlatFile1(data))) {
        return {};
    }
    return path.full();
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
