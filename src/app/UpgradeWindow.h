#pragma once

#include "db/Database.h"

#include <QString>
#include <memory>

class QProgressDialog;

namespace kovrin {

// The window of the start while the database file of an older version is upgraded: which
// file, what is being done and how far it has come. Shown at the upgrade's first word and
// kept painted while it runs; it has no button, since the upgrade is one transaction that
// ends whole or is undone whole.
class UpgradeWindow {
public:
    explicit UpgradeWindow(QString filePath);
    ~UpgradeWindow();
    UpgradeWindow(const UpgradeWindow&) = delete;
    UpgradeWindow& operator=(const UpgradeWindow&) = delete;

    // The database layer's report (UpgradeReport).
    void show(const UpgradeProgress& progress);
    // The window is on the screen.
    bool isShown() const;

private:
    QString m_filePath;
    std::unique_ptr<QProgressDialog> m_dialog;
};

}  // namespace kovrin
