#pragma once

#include <QKeyEvent>
#include <QObject>
#include <functional>

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KeyFilter(QObject* parent, Handler handler) : QObject(parent), m_handler(std::move(handler)) {}
    Handler m_handler;
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

// Runs a handler when a control gains the focus.
class FocusInFilter : public QObject {
    Q_OBJECT
public:
    static void install(QWidget* control, std::function<void()> handler);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FocusInFilter(QObject* parent, std::function<void()> handler)
        : QObject(parent), m_handler(std::move(handler)) {}
    std::function<void()> m_handler;
};

}  // namespace kovrin
