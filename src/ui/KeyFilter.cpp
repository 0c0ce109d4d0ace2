#include "ui/KeyFilter.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

namespace kovrin {

void KeyFilter::install(QWidget* control, Handler handler) {
    control->installEventFilter(new KeyFilter(control, std::move(handler)));
}

bool KeyFilter::typesCharacter(const QKeyEvent* e) {
    // Ctrl+V and the like carry a letter with some keyboards, but they are commands.
    if (e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) {
        return false;
    }
    const QString t = e->text();
    if (t.isEmpty()) {
        return false;
    }
    for (const QChar c : t) {
        if (!c.isPrint()) {
            return false;  // Backspace, Delete, Tab, Enter, Escape carry control characters
        }
    }
    return true;
}

bool KeyFilter::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        return m_handler(static_cast<QKeyEvent*>(event));
    }
    return false;
}

void CharacterRule::install(QLineEdit* box, Allowed allowed, Applies applies) {
    box->setValidator(new CharacterRule(box, std::move(allowed), std::move(applies)));
}

QValidator::State CharacterRule::validate(QString& input, int&) const {
    if (m_applies && !m_applies()) {
        return Acceptable;
    }
    for (const QChar c : input) {
        if (!m_allowed(c)) {
            return Invalid;
        }
    }
    return Acceptable;
}

void EnterPressesButton::install(QWidget* screen) {
    if (screen->findChild<EnterPressesButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        return;  // already in place
    }
    // A dialog would otherwise make its first button the default one, pressed by Enter on
    // whichever control has the focus.
    for (QPushButton* b : screen->findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    screen->installEventFilter(new EnterPressesButton(screen));
}

// A key the focused control does not use goes on to its parents and reaches the screen here;
// a button's own rule for Enter has taken the key before.
bool EnterPressesButton::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (!KeyFilter::isEnter(key) || mods != Qt::NoModifier) {
        return false;
    }
    auto* screen = static_cast<QWidget*>(watched);
    auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
    if (!button || !screen->isAncestorOf(button) || !button->isEnabled() || !button->isVisible()) {
        return false;
    }
    // A held Enter presses once: the repeats would, for instance, start a download again.
    if (!key->isAutoRepeat()) {
        button->click();
    }
    return true;
}

void FocusInFilter::install(QWidget* control, std::function<void()> handler, Reasons reasons) {
    control->installEventFilter(new FocusInFilter(control, std::move(handler), reasons));
}

bool FocusInFilter::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (m_reasons == Reasons::Any ||
            (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)) {
            m_handler();
        }
    }
    return false;
}

}  // namespace kovrin
