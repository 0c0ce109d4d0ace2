#pragma once

#include "core/Clock.h"
#include "core/ProgramFolder.h"
#include "upload/UploadTransfer.h"

#include <QHash>
#include <QString>
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

    void setClock(const Clock& clock) { m_clock = &clock; }

    // Keeps the records of an upload cut short, replacing what was kept for the port.
    // Returns the backup file written, empty when it could not be written.
    QString keep(const QString& port, const PartialUpload& upload);
    // The upload kept for the port, if any; it is no longer kept afterwards.
    std::optional<PartialUpload> take(const QString& port);
    bool holds(const QString& port) const { return m_kept.contains(port); }

private:
    ProgramFolder m_folder;
    const Clock* m_clock = &Clock::system();
    QHash<QString, PartialUpload> m_kept;
};

}  // namespace kovrin
