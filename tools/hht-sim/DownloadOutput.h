#pragma once

// What a simulated terminal writes when a download has ended: the accounts it received as
// a readable list, and every frame as received, in hexadecimal.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

namespace kovrin::sim {

class Terminal;

// The header's fields, one account a line (record | category | scheme | account | name |
// balance | agreed | opened | last transaction), and a "Problems" section naming missing,
// unexpected or unreadable records ("none" when there are none).
QString accountListText(const QByteArray& header, const QMap<int, QByteArray>& accounts);

// One frame a line: its size, then its bytes in hexadecimal separated by blanks.
QString framesHexText(const QList<QByteArray>& frames);

// Writes accounts.txt and frames.hex into the folder (created when missing). Returns an
// error text, empty on success.
QString writeDownloadOutput(const QString& folder, const Terminal& terminal);

}  // namespace kovrin::sim
