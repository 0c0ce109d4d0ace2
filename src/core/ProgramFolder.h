#pragma once

#include <QDir>
#include <QString>

namespace kovrin {

// The folder the program lives in: its database, logs and working folders sit beside
// the executable. Passed in explicitly so tests can use a temporary folder. The logs may live
// in a folder of their own (the installed program's /var/log/kovrin).
class ProgramFolder {
public:
    explicit ProgramFolder(const QString& path, const QString& logFolder = QString())
        : m_path(QDir::cleanPath(path)),
          m_logFolder(logFolder.isEmpty() ? m_path : QDir::cleanPath(logFolder)) {}

    QString path() const { return m_path; }
    // The operator log and the daily transfer logs: the program folder unless told otherwise.
    QString logFolder() const { return m_logFolder; }
    QString filePath(const QString& name) const { return QDir(m_path).filePath(name); }
    QString databasePath() const { return filePath(QStringLiteral("HandHeldData.mdb")); }
    QString operatorLogPath() const {
        return QDir(m_logFolder).filePath(QStringLiteral("operator.log"));
    }
    // Held by the one program running on this folder, whichever revision it is.
    QString lockFilePath() const { return filePath(QStringLiteral("kovrin.lock")); }

private:
    QString m_path;
    QString m_logFolder;
};

}  // namespace kovrin
