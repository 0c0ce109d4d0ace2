#pragma once

// What a screen test starts from: a fresh program folder with its database, the program's
// context over it, the message boxes recorded instead of shown, and a serial line of the
// test's own for the transfer screens.

#include "app/AppContext.h"
#include "support/FakeSerialLink.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"

#include <memory>

namespace kovrin::test {

struct ScreenFixture {
    TempProgramFolder pf;
    MessageRecorder rec;
    std::unique_ptr<AppContext> ctx;
    FakeSerialLink port;

    ScreenFixture() {
        QString error;
        ctx = AppContext::startUp(pf.folder(), &error);
        if (!ctx) {
            qWarning("the program could not start: %s", qPrintable(error));
        }
        rec.clear();
    }
};

}  // namespace kovrin::test
