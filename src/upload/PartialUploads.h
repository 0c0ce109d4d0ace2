#pragma once

#include "app/ProgramFolder.h"
#include "upload/UploadTransfer.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>

namespace kovrin {

// The records of uploads that were cut short (cable pulled, terminal silent, screen closed),
// kept for the life of the program by the port they came from, so that the next Receive on
// that port can go on where the upload stopped instead of starting over. What is kept is
// also written to BackupData (<agent>_dd_mm_yy-partial.txt), so that it is never only in
// memory.
class PartialUploads {
public:
    explicit PartialUploads(ProgramFolder folder);

    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // Keeps the records of an upload cut short, replacing what was kept for the port.
    // Returns the backup file written, empty when it could not be written.
    QString keep(const QString& port, const PartialUpload& upload);
    // The upload kept for the port, if any; it is no longer kept afterwards.
    std::optional<PartialUpload> take(const QString& port);
    bool holds(const QString& port) const { return m_kept.contains(port); }

private:
    ProgramFolder m_folder;
    std::function<QDateTime()> m_clock;
    QHash<QString, PartialUpload> m_kept;
};

}  // namespace kovrin
