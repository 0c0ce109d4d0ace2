// hht-sim: plays the hand-held terminal on a pseudo-terminal or a serial device.

#include "DownloadOutput.h"
#include "PtyDevice.h"
#include "SimOptions.h"
#include "Terminal.h"
#include "UploadScript.h"

#include <QCoreApplication>

#include <QTimer>
#include <algorithm>
#include <cstdio>

using namespace kovrin::sim;

namespace {

constexpr int kCloseGraceMs = 300;

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// Leaves once every answer has gone out and the PC has read it (closing the line throws
// away what the PC has not read yet), or after ten seconds of waiting for that; then lingers.
void quitWhenIdle(const Terminal& terminal, const PtyDevice& device, int lingerMs,
                  int patienceMs = 10000) {
    if ((!terminal.idle() || device.unreadByPeer() > 0) && patienceMs > 0) {
        QTimer::singleShot(10, [&terminal, &device, lingerMs, patienceMs] {
            quitWhenIdle(terminal, device, lingerMs, patienceMs - 10);
        });
        return;
    }
    // The pty's queue is not a sure sign that the PC has taken the last answer off the line:
    // a moment's grace before closing it, whatever the linger asked for.
    QTimer::singleShot(std::max(lingerMs, kCloseGraceMs), qApp, &QCoreApplication::quit);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const OptionsResult parsed = parseSimOptions(app.arguments().mid(1));
    if (!parsed.ok) {
        print(stderr, QStringLiteral("hht-sim: %1\nTry hht-sim --help.\n").arg(parsed.error));
        return 2;
    }
    const SimOptions& o = parsed.options;
    if (o.help) {
        print(stdout, usageText());
        return 0;
    }

    // The script's fault lines join the command line's before the terminal starts.
    TerminalConfig config = o.terminal;
    UploadFrames frames;
    if (o.terminal.mode == Mode::Upload) {
        const ScriptResult script = loadUploadScript(o.scriptPath);
        if (!script.ok) {
            print(stderr, QStringLiteral("hht-sim: %1\n").arg(script.error));
            return 2;
        }
        frames = buildUploadFrames(script.script);
        if (!frames.ok) {
            print(stderr, QStringLiteral("hht-sim: %1: %2\n").arg(o.scriptPath, frames.error));
            return 2;
        }
        applyScriptFaults(script.script, config.faults);
        print(stderr, QStringLiteral("hht-sim: serving %1 records of agent %2\n")
                          .arg(frames.frames.size())
                          .arg(script.script.agentDateKey()));
    }
    Terminal terminal(config);
    terminal.setUploadFrames(frames.frames);

    PtyDevice device;
    const QString error = o.device.isEmpty() ? device.openPty() : device.openDevice(o.device);
    if (!error.isEmpty()) {
        print(stderr, QStringLiteral("hht-sim: %1\n").arg(error));
        return 1;
    }
    QObject::connect(&device, &PtyDevice::received, &terminal, &Terminal::feed);
    QObject::connect(&terminal, &Terminal::output, &device, &PtyDevice::write);
    QObject::connect(&device, &PtyDevice::error, &app, [](const QString& e) {
        print(stderr, QStringLiteral("hht-sim: %1\n").arg(e));
    });
    QObject::connect(&terminal, &Terminal::log, &app, [](const QString& line) {
        print(stderr, QStringLiteral("hht-sim: %1\n").arg(line));
    });
    int status = 0;
    QObject::connect(&terminal, &Terminal::ended, &app, [&] {
        if (o.terminal.mode == Mode::Download) {
            const QString e = writeDownloadOutput(o.outFolder, terminal);
            if (e.isEmpty()) {
                print(stdout, QStringLiteral("download written to %1\n").arg(o.outFolder));
            } else {
                print(stderr, QStringLiteral("hht-sim: %1\n").arg(e));
                status = 1;
            }
        } else {
            print(stdout, QStringLiteral("upload ended with OVER\n"));
        }
        if (!o.stay) {
            quitWhenIdle(terminal, device, o.lingerMs);
        }
    });

    print(stdout, QStringLiteral("device: %1\n").arg(device.devicePath()));
    const int rc = app.exec();
    return status != 0 ? status : rc;
}
