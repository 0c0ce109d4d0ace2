#include "ui/FocusColours.h"

#include "ui/KeyFilter.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>

namespace kovrin {

const QColor FocusColours::kDarkGrey(0x40, 0x40, 0x40);
const QColor FocusColours::kLightGrey(0xE0, 0xE0, 0xE0);
const QColor FocusColours::kMidGrey(0x80, 0x80, 0x80);
const QColor FocusColours::kWhite(0xFF, 0xFF, 0xFF);

FocusColours* FocusColours::instance() {
    static FocusColours* filter = new FocusColours;  // lives for the whole program
    return filter;
}

void FocusColours::paintButton(QWidget* button, bool focused) {
    QPalette p = button->palette();
    p.setColor(QPalette::Button, focused ? kLightGrey : kMidGrey);
    p.setColor(QPalette::ButtonText, focused ? kDarkGrey : kWhite);
    button->setPalette(p);
}

void FocusColours::apply(QWidget* screen) {
    for (QPushButton* b : screen->findChildren<QPushButton*>()) {
        b->setAutoFillBackground(true);
        paintButton(b, b->hasFocus());
        b->installEventFilter(instance());
    }
    for (QLineEdit* e : screen->findChildren<QLineEdit*>()) {
        QPalette p = e->palette();
        p.setColor(QPalette::Base, kLightGrey);
        p.setColor(QPalette::Text, kDarkGrey);
        e->setPalette(p);
    }
    EnterPressesButton::install(screen);
}

bool FocusColours::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        if (auto* w = qobject_cast<QWidget*>(watched)) {
            paintButton(w, event->type() == QEvent::FocusIn);
        }
    }
    return false;
}

}  // namespace kovrin
