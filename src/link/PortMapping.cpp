#include "link/PortMapping.h"

#include <QDir>
#include <QFileInfo>

namespace kovrin::link {

PortDevice resolvePort(const QString& programFolder, const QString& commPortSetting) {
    PortDevice p;
    bool ok = false;
    const int n = commPortSetting.trimmed().toInt(&ok);
    if (!ok || n < 1 || n > 10) {
        return p;
    }
    p.number = n;
#ifdef Q_OS_WIN
    p.device = QStringLiteral("COM%1").arg(n);
    p.present = true;  // Windows reports a missing port when it is opened
#else
    const QFileInfo link(QDir(programFolder).filePath(QStringLiteral("ports/com%1").arg(n)));
    if (link.isSymLink()) {
        p.device = link.symLinkTarget();
    } else if (link.exists()) {
        p.device = link.absoluteFilePath();  // a device node or a copy of one put there
    } else {
        p.device = QStringLiteral("/dev/ttyS%1").arg(n - 1);
    }
    p.present = QFileInfo::exists(p.device);
#endif
    return p;
}

}  // namespace kovrin::link
