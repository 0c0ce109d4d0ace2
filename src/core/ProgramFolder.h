#pragma once

#include <QDir>
#include <QString>

namespace kovrin {

// The folder the program lives in: its database, logs and working folders sit beside
// the executable. Passed in explicitly so tests can use a temporary folder.
class ProgramFolder {
public:
    explicit ProgramFolder(const QString& path) : m_path(QDir::cleanPath(path)) {}

    QString path() const { return m_path; }
    QString filePath(const QString& name) const { return QDir(m_path).filePath(name); }
    QString databasePath() const { return filePath(QStringLiteral("HandHeldData.mdb")); }
    QString operatorLogPath() const { return filePath(QStringLiteral("operator.log")); }
    // Held by the one program running on this folder, whichever revision it is.
    QString lockFilePath() const { return filePath(QStringLiteral("kovrin.lock")); }

private:
    QString m_path;
};

}  // namespace kovrin
