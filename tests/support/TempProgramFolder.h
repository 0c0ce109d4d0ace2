#pragma once

#include "core/ProgramFolder.h"

#include <QTemporaryDir>

namespace kovrin::test {

// A fresh, empty program folder for one test; removed afterwards.
class TempProgramFolder {
public:
    TempProgramFolder() : m_folder(m_dir.path()) {}
    const ProgramFolder& folder() const { return m_folder; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_folder.filePath(name); }

private:
    QTemporaryDir m_dir;
    ProgramFolder m_folder;
};

}  // namespace kovrin::test
