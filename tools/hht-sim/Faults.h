#pragma once

// Faults a simulated terminal injects on request. A fault "at N" concerns the reply to the
// frame carrying record number N and fires once: the first time that record is answered
// (a record sent again is then answered normally). In a download the header frame and the
// end frame both carry record 0; the end-frame faults concern the end frame only.

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

namespace kovrin::sim {

struct Faults {
    QSet<int> nackAt;          // "NACK" instead of the reply
    QSet<int> wrongNumberAt;   // the reply carries record number N + 1
    QSet<int> badChecksumAt;   // the reply's checksum byte is off by one
    QSet<int> closAt;          // "CLOS" instead of the reply
    QSet<int> backAt;          // "BACK" instead of the reply
    QSet<int> glueAt;          // the reply is held back and goes out in one write with the
                               // next reply
    QMap<int, int> silentAt;   // record -> how many times it goes unanswered
    QMap<int, int> lateAt;     // record -> milliseconds the reply goes out later than it would;
                               // replies to later frames wait behind it
    QSet<int> twiceAt;         // the reply goes out twice, one copy right after the other
    QMap<int, int> strayAt;    // record -> stray bytes written after the reply
    int silentEnd = 0;         // download: the first n end frames go unanswered ...
    int nackEnd = 0;           // ... and the next n are answered "NACK"
    int silentFirst = 0;       // the first n frames of the session go unanswered
    int splitPieces = 1;       // every reply in this many pieces ...
    int splitDelayMs = 20;     // ... with this pause between them
    double corruptRate = 0.0;  // chance of each reply byte being replaced by another
    double dropRate = 0.0;     // chance of each reply byte being lost on the line
    quint32 seed = 1;          // of the corruption and the losses
};

// Reads one fault setting "name=value" (the command line's spelling without "--"); the
// "at" faults may be given several times. Returns an error text, empty on success.
// Errors name the setting after `prefix`: "--late-at: ..." on the command line.
QString applyFault(Faults& faults, const QString& name, const QString& value,
                   const QString& prefix = QStringLiteral("--"));

// The bytes of a stray-at fault: 00 7F 20 repeated and cut to `count`. They hold no sync
// and no word of a short frame, so a reader sees them only as noise.
QByteArray strayBytes(int count);

// The fault settings the command line offers, for its help text.
QStringList faultHelp();

}  // namespace kovrin::sim
