#pragma once

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/OperatorLog.h"
#include "core/ProgramFolder.h"
#include "core/Revision.h"
#include "db/Database.h"
#include "link/PortMapping.h"
#include "link/TransferLog.h"

namespace kovrin {

// What a screen needs from the running program: the open database, the settings in memory,
// the program folder, the two logs, the clock, the revision, and the devices of the serial
// ports (mapped, and as the system reports them: the program looks at the machine, a test
// gives a fixed list). The program that builds the
// screens hands it down; a screen never reaches for the program itself.
class ScreenContext {
public:
    virtual ~ScreenContext() = default;

    virtual Database& db() = 0;
    virtual AppSettings& settings() = 0;
    virtual const ProgramFolder& folder() const = 0;
    virtual OperatorLog& operatorLog() = 0;
    virtual link::TransferLog& transferLog() = 0;
    virtual const Clock& clock() const = 0;
    virtual Revision revision() const = 0;
    virtual link::PortDirectory& ports() = 0;
};

}  // namespace kovrin
