#pragma once

#include <QColor>
#include <QObject>

class QWidget;

namespace kovrin {

// The look every screen shares: each push button shows dark grey text on light grey while
// it has the focus and white text on mid grey otherwise; text entries use the light grey
// background with dark grey text.
class FocusColours : public QObject {
    Q_OBJECT
public:
    static const QColor kDarkGrey;   // 0x40 each
    static const QColor kLightGrey;  // 0xE0 each
    static const QColor kMidGrey;    // 0x80 each
    static const QColor kWhite;

    // Applies the colours to every push button and text entry under `screen`, and the
    // push buttons' Enter key (EnterPressesButton) with them: every screen calls this once
    // its controls are in place.
    static void apply(QWidget* screen);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static FocusColours* instance();
    static void paintButton(QWidget* button, bool focused);
};

}  // namespace kovrin
