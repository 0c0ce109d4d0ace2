#include "app/AppContext.h"

#include "app/Messages.h"
#include "db/DatabaseBackup.h"
#include "db/SettingsStore.h"

namespace kovrin {

AppContext::AppContext(ProgramFolder folder, std::unique_ptr<Database> db)
    : m_folder(std::move(folder)),
      m_db(std::move(db)),
      m_log(m_folder.operatorLogPath()),
      m_transferLog(m_folder.path()) {
    Messages::setOperatorLog(&m_log);
}

AppContext::~AppContext() {
    if (Messages::operatorLog() == &m_log) {
        Messages::setOperatorLog(nullptr);
    }
}

std::unique_ptr<AppContext> AppContext::startUp(const ProgramFolder& folder, QString* error,
                                                const QDate& today) {
    QString dbError;
    std::unique_ptr<Database> db = Database::open(folder.databasePath(), &dbError);
    if (!db) {
        if (error) {
            *error = dbError;
        }
        return nullptr;
    }
    auto ctx = std::make_unique<AppContext>(folder, std::move(db));
    // Once a day, the first start makes the day's copy; a failure is told but never stops
    // the program.
    const BackupOutcome backup =
        makeDailyBackup(ctx->db(), folder.filePath(QStringLiteral("BackupData")), today);
    if (backup.status == BackupOutcome::Status::Failed) {
        Messages::critical(QStringLiteral("frmMain"), backup.error);
    }
    DbStatus st;
    const auto settings = SettingsStore(ctx->db()).load(&st);
    if (!st) {
        if (error) {
            *error = QStringLiteral("The settings could not be read from %1: %2.")
                         .arg(ctx->db().filePath(), st.error);
        }
        return nullptr;
    }
    if (settings) {
        ctx->m_settings = *settings;
    } else {
        Messages::critical(QStringLiteral("frmMain"),
                           QStringLiteral("Please Select CommPort and BankName"));
    }
    return ctx;
}

}  // namespace kovrin
