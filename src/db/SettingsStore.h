#pragma once

#include "core/AppSettings.h"
#include "db/Database.h"

#include <QStringList>
#include <optional>

namespace kovrin {

// What the configuration screen saves.
struct ConfigurationInput {
    QString bankName;                 // trimmed by the store
    std::optional<QString> commPort;  // nullopt: no port chosen, the stored one is kept
    QString branchName;               // trimmed by the store
    int fontIndex = -1;               // list position picked (-1: none picked); used for a new row
    QString fontText;                 // text the font box shows; used for an existing row
};

enum class FolderKind { BankInformation, Report };

// The settings row of table Path.
class SettingsStore {
public:
    explicit SettingsStore(Database& db) : m_db(db) {}

    // The settings row, or nullopt when there is none (or on a database error, in *status).
    std::optional<AppSettings> load(DbStatus* status = nullptr);

    // Saves the configuration screen's four settings and updates `settings` to the stored
    // values. A new row gets FontSize = the picked list position ("-1" when none was picked);
    // an existing row maps "Big" to "1" and "Small" to "0" and otherwise keeps its value.
    DbStatus saveConfiguration(const ConfigurationInput& input, AppSettings& settings,
                               QStringList* changes = nullptr);

    // Saves one folder (BankInfoPath or ReportPath) exactly as given and updates `settings`.
    DbStatus saveFolder(FolderKind kind, const QString& folder, AppSettings& settings,
                        QStringList* changes = nullptr);

private:
    Database& m_db;
};

}  // namespace kovrin
