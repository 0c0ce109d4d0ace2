#include "SimOptions.h"

namespace kovrin::sim {

namespace {

const QStringList kFlags{QStringLiteral("help"), QStringLiteral("pace"), QStringLiteral("stay")};

}  // namespace

OptionsResult parseSimOptions(const QStringList& args) {
    OptionsResult r;
    SimOptions& o = r.options;
    bool modeGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        if (arg == u"-h") {
            arg = QStringLiteral("--help");
        }
        if (!arg.startsWith(QStringLiteral("--")) || arg.size() < 3) {
            r.error = QStringLiteral("unexpected argument \"%1\"").arg(arg);
            return r;
        }
        QString name = arg.mid(2);
        QString value;
        bool hasValue = false;
        if (const qsizetype eq = name.indexOf(u'='); eq >= 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        }
        if (kFlags.contains(name)) {
            if (hasValue) {
                r.error = QStringLiteral("--%1 takes no value").arg(name);
                return r;
            }
            o.help = o.help || name == u"help";
            o.terminal.paced = o.terminal.paced || name == u"pace";
            o.stay = o.stay || name == u"stay";
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                r.error = QStringLiteral("--%1 needs a value").arg(name);
                return r;
            }
            value = args[++i];
        }
        bool ok = true;
        if (name == u"mode") {
            modeGiven = true;
            if (value == u"download") {
                o.terminal.mode = Mode::Download;
            } else if (value == u"upload") {
                o.terminal.mode = Mode::Upload;
            } else {
                ok = false;
            }
        } else if (name == u"device") {
            o.device = value;
        } else if (name == u"out") {
            o.outFolder = value;
        } else if (name == u"script") {
            o.scriptPath = value;
        } else if (name == u"beyond") {
            const QMap<QString, Beyond> kinds{{QStringLiteral("zero"), Beyond::Zero},
                                              {QStringLiteral("silent"), Beyond::Silent},
                                              {QStringLiteral("nack"), Beyond::Nack},
                                              {QStringLiteral("last"), Beyond::Last}};
            ok = kinds.contains(value);
            o.terminal.beyond = kinds.value(value, Beyond::Zero);
        } else if (name == u"partial-timeout") {
            o.terminal.partialTimeoutMs = value.toInt(&ok);
            ok = ok && o.terminal.partialTimeoutMs > 0;
        } else if (name == u"linger") {
            o.lingerMs = value.toInt(&ok);
            ok = ok && o.lingerMs >= 0;
        } else {
            const QString e = applyFault(o.terminal.faults, name, value);
            if (!e.isEmpty()) {
                r.error = e;
                return r;
            }
        }
        if (!ok) {
            r.error = QStringLiteral("--%1: \"%2\" is not valid").arg(name, value);
            return r;
        }
    }
    if (o.help) {
        r.ok = true;
        return r;
    }
    if (!modeGiven) {
        r.error = QStringLiteral("--mode download or --mode upload is needed");
        return r;
    }
    if (o.terminal.mode == Mode::Upload && o.scriptPath.isEmpty()) {
        r.error = QStringLiteral("upload mode needs --script FILE");
        return r;
    }
    if (o.terminal.mode == Mode::Download && o.outFolder.isEmpty()) {
        o.outFolder = QStringLiteral("hht-download");
    }
    r.ok = true;
    return r;
}

QString usageText() {
    QStringList lines{
        QStringLiteral("Usage: hht-sim --mode download [--out FOLDER] [options] [faults]"),
        QStringLiteral("       hht-sim --mode upload --script FILE [options] [faults]"),
        QString(),
        QStringLiteral("Plays the hand-held terminal on a new pseudo-terminal and prints the"),
        QStringLiteral("device the PC program should open, as \"device: /dev/pts/N\"."),
        QString(),
        QStringLiteral("Download mode acknowledges every frame with its record number and AACK;"),
        QStringLiteral("at the end frame it writes accounts.txt and frames.hex to FOLDER"),
        QStringLiteral("(default ./hht-download). Upload mode answers each request frame with"),
        QStringLiteral("the record of that number, built from the script file (see README.md)."),
        QString(),
        QStringLiteral("Options:"),
        QStringLiteral(
            "  --device PATH          use this serial device instead of a pseudo-terminal"),
        QStringLiteral("  --beyond KIND          answer to a request past the last record:"),
        QStringLiteral("                         zero (default; a frame of zero bytes), silent,"),
        QStringLiteral("                         nack, last (the last record again)"),
        QStringLiteral("  --pace                 write at the pace of 19200 baud"),
        QStringLiteral("  --partial-timeout MS   drop a frame left incomplete this long (200)"),
        QStringLiteral("  --stay                 keep answering after the end frame"),
        QStringLiteral("  --linger MS            wait before leaving after the end (500)"),
        QStringLiteral("  --help                 this text"),
        QString(),
        QStringLiteral("Faults (\"at N\": the answer to record N, once; may be repeated):"),
    };
    for (const QString& f : faultHelp()) {
        lines << QStringLiteral("  ") + f;
    }
    lines << QString()
          << QStringLiteral("An upload script may give faults too, as lines \"fault NAME VALUE\".");
    return lines.join(u'\n') + u'\n';
}

}  // namespace kovrin::sim
