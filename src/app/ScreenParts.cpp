#include "app/ScreenParts.h"

#include "app/AppContext.h"
#include "link/SerialPortLink.h"

#include <QLabel>
#include <QProgressBar>

namespace kovrin {

QLabel* titleLabel(const QString& text, const char* objectName) {
    auto* title = new QLabel(text);
    title->setObjectName(QLatin1String(objectName));
    title->setAlignment(Qt::AlignCenter);
    QFont big = title->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    title->setFont(big);
    return title;
}

QProgressBar* transferProgressBar() {
    auto* bar = new QProgressBar;
    bar->setObjectName(QStringLiteral("barRecord"));
    bar->setFormat(QStringLiteral("%v / %m"));
    showTransferProgress(bar, 0, 0);
    return bar;
}

void showTransferProgress(QProgressBar* bar, int done, int total) {
    const int top = qMax(total, 1);
    bar->setRange(0, top);
    bar->setValue(qBound(0, done, top));
}

std::unique_ptr<link::SerialLink> configuredPort(AppContext& ctx) {
    return std::make_unique<link::SerialPortLink>(ctx.folder().path(),
                                                  [&ctx] { return ctx.settings().CommPort; });
}

}  // namespace kovrin
