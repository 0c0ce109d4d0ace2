#include "ui/ScreenParts.h"

#include "link/SerialPortLink.h"
#include "ui/KeyFilter.h"
#include "ui/ScreenContext.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QStyleFactory>
#include <algorithm>

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

void digitEntry(QLineEdit* e, QChar highest, QWidget* next) {
    const auto allowed = [highest](QChar c) { return c >= QLatin1Char('0') && c <= highest; };
    CharacterRule::install(e, allowed);
    KeyFilter::install(e, [e, allowed, next](QKeyEvent* k) {
        if (KeyFilter::isEnter(k)) {
            next->setFocus(Qt::TabFocusReason);
            return true;
        }
        if (k->key() == Qt::Key_Backspace) {
            e->clear();
            return true;
        }
        if (!KeyFilter::typesCharacter(k)) {
            return false;
        }
        const QString t = k->text();
        return !std::all_of(t.begin(), t.end(), allowed);
    });
}

namespace {
// The program's style, except that password boxes draw "*" for each character, at once.
class StarPasswordStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) {
            return '*';
        }
        if (hint == SH_LineEdit_PasswordMaskDelay) {
            return 0;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
}  // namespace

void showAsStars(QLineEdit* box) {
    // One for the whole program, over the style the program runs with.
    static QStyle* stars =
        new StarPasswordStyle(QStyleFactory::create(QApplication::style()->name()));
    box->setStyle(stars);
    box->setEchoMode(QLineEdit::Password);
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

namespace {
// Four repaints a second follow a transfer closely enough (an upload takes about fourteen
// frames a second); a repaint of the label and bar costs as much as reading several frames.
constexpr int kRepaintMs = 250;
}  // namespace

TransferProgressView::TransferProgressView(QLabel* label, QProgressBar* bar, QObject* parent)
    : QObject(parent), m_label(label), m_bar(bar) {
    // Room for the widest count, so that a new count never lays out the screen again.
    if (m_label) {
        m_label->setMinimumWidth(
            m_label->fontMetrics().horizontalAdvance(QStringLiteral("00000 / 00000")));
    }
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TransferProgressView::paint);
}

void TransferProgressView::show(int done, int total) {
    m_done = done;
    m_total = total;
    m_waiting = true;
    if (!m_lastPaint.isValid() || m_lastPaint.elapsed() >= kRepaintMs) {
        paint();
    } else if (!m_timer.isActive()) {
        m_timer.start(int(kRepaintMs - m_lastPaint.elapsed()));
    }
}

void TransferProgressView::flush() {
    if (m_waiting) {
        paint();
    }
}

void TransferProgressView::clear() {
    m_timer.stop();
    m_waiting = false;
    if (m_label) {
        m_label->clear();
    }
    showTransferProgress(m_bar, 0, 0);
}

void TransferProgressView::paint() {
    m_timer.stop();
    m_waiting = false;
    m_lastPaint.start();
    if (m_label) {
        m_label->setText(QStringLiteral("%1 / %2").arg(m_done).arg(m_total));
    }
    showTransferProgress(m_bar, m_done, m_total);
}

void showPortDevice(QLabel* label, const link::PortDevice& device, int width, const QString& prefix,
                    const QString& more) {
    const QString whole = prefix + device.describe();
    QString shown = whole;
    if (!device.device.isEmpty()) {
        const QString state =
            device.present ? QStringLiteral(" (present)") : QStringLiteral(" (absent)");
        const QFontMetrics fm = label->fontMetrics();
        // What tells two adapters apart is at the end of a stable name (the serial number and
        // the port of the adapter): its beginning goes first.
        const bool stable = device.device.startsWith(QLatin1String("/dev/serial/by-id/"));
        shown = prefix +
                fm.elidedText(device.device, stable ? Qt::ElideLeft : Qt::ElideMiddle,
                              qMax(40, width - fm.horizontalAdvance(prefix + state))) +
                state;
    }
    label->setText(shown);
    label->setToolTip(more.isEmpty() ? whole : whole + QLatin1Char('\n') + more);
    label->setAccessibleName(whole);
}

std::unique_ptr<link::SerialLink> configuredPort(ScreenContext& ctx, const QString& screen) {
    auto line = std::make_unique<link::SerialPortLink>(
        ctx.folder().path(), [&ctx] { return ctx.settings().CommPort; }, screen);
    line->setDirectory(&ctx.ports());
    return line;
}

}  // namespace kovrin
