#include "app/KeyFilter.h"

#include <QWidget>

namespace kovrin {

void KeyFilter::install(QWidget* control, Handler handler) {
    control->installEventFilter(new KeyFilter(control, std::move(handler)));
}

bool KeyFilter::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        return m_handler(static_cast<QKeyEvent*>(event));
    }
    return false;
}

void FocusInFilter::install(QWidget* control, std::function<void()> handler) {
    control->installEventFilter(new FocusInFilter(control, std::move(handler)));
}

bool FocusInFilter::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        m_handler();
    }
    return false;
}

}  // namespace kovrin
