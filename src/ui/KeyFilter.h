#pragma once

#include <QKeyEvent>
#include <QObject>
#include <QValidator>
#include <functional>

class QLineEdit;
class QWidget;

namespace kovrin {

// Runs a handler for the key presses of one control; the handler returns true to swallow
// the key. Used for the screens' key rules (Enter moving the focus, digit-only entries).
class KeyFilter : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<bool(QKeyEvent*)>;

    static void install(QWidget* control, Handler handler);
    static bool isEnter(const QKeyEvent* e) {
        return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    }
    // True when the key types text into a box (a letter, digit, blank or sign); false for
    // the keys that move or edit (arrows, Home, End, Delete, Backspace, Tab, Enter, Escape)
    // and for shortcuts such as Ctrl+V. The screens' character rules judge only the former.
    static bool typesCharacter(const QKeyEvent* e);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KeyFilter(QObject* parent, Handler handler) : QObject(parent), m_handler(std::move(handler)) {}
    Handler m_handler;
};

// Holds what reaches a box by other ways than a typed key (pasting, dropping, an input
// method) to the same character rule as the typed keys: an edit that would bring in a
// character the rule refuses is undone whole. The rule holds while `applies` says so
// (always when it is empty).
class CharacterRule : public QValidator {
    Q_OBJECT
public:
    using Allowed = std::function<bool(QChar)>;
    using Applies = std::function<bool()>;

    static void install(QLineEdit* box, Allowed allowed, Applies applies = {});

    State validate(QString& input, int& pos) const override;

private:
    CharacterRule(QObject* parent, Allowed allowed, Applies applies)
        : QValidator(parent), m_allowed(std::move(allowed)), m_applies(std::move(applies)) {}
    Allowed m_allowed;
    Applies m_applies;
};

// Enter on a push button that has the focus presses it, on every screen, unless the button
// has a key rule of its own for Enter. No button is a default button: Enter on any other
// control presses nothing unless that control's own rule says otherwise.
class EnterPressesButton : public QObject {
    Q_OBJECT
public:
    static void install(QWidget* screen);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};

// Runs a handler when a control gains the focus. With `OperatorOnly`, only when it gains it by
// the operator's doing (a click, Tab, the arrow keys, the program moving it), not when its
// window is merely activated again or a popup closes: coming back to a screen, or answering
// one of its message boxes, must not redo what choosing the control did.
class FocusInFilter : public QObject {
    Q_OBJECT
public:
    enum class Reasons { Any, OperatorOnly };
    static void install(QWidget* control, std::function<void()> handler,
                        Reasons reasons = Reasons::Any);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FocusInFilter(QObject* parent, std::function<void()> handler, Reasons reasons)
        : QObject(parent), m_handler(std::move(handler)), m_reasons(reasons) {}
    std::function<void()> m_handler;
    Reasons m_reasons;
};

}  // namespace kovrin
