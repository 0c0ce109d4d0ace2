#pragma once

#include "app/AppSettings.h"
#include "app/OperatorLog.h"
#include "app/ProgramFolder.h"
#include "app/Revision.h"
#include "db/Database.h"
#include "link/TransferLog.h"

#include <memory>

namespace kovrin {

// What every screen shares for the life of the program: the program folder, the open
// database, the in-memory settings and the operator log.
class AppContext {
public:
    AppContext(ProgramFolder folder, std::unique_ptr<Database> db);
    ~AppContext();

    const ProgramFolder& folder() const { return m_folder; }
    Database& db() { return *m_db; }
    AppSettings& settings() { return m_settings; }
    OperatorLog& operatorLog() { return m_log; }
    link::TransferLog& transferLog() { return m_transferLog; }
    Revision revision() const { return m_revision; }
    void setRevision(Revision r) { m_revision = r; }

    // Opens the database in `folder` (creating it when missing) and loads the settings row.
    // Shows "Please Select CommPort and BankName" when there is none. On a database that
    // cannot be used, returns null and puts the message for the operator into *error.
    static std::unique_ptr<AppContext> startUp(const ProgramFolder& folder, QString* error);

private:
    ProgramFolder m_folder;
    std::unique_ptr<Database> m_db;
    AppSettings m_settings;
    OperatorLog m_log;
    link::TransferLog m_transferLog;
    Revision m_revision = Revision::V2_1;
};

}  // namespace kovrin
