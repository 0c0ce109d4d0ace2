#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;

namespace kovrin {

class ScreenContext;
namespace link {
class SerialLink;
struct PortDevice;
}  // namespace link

// Pieces several screens are built from.

// A screen's heading: centred, bold, larger than the rest.
QLabel* titleLabel(const QString& text, const char* objectName);

// An entry of digits only (up to `highest`), typed or pasted: Backspace empties it, Enter
// moves the focus to `next`. The keys that move or edit (arrows, Home, End, Delete, Tab,
// Ctrl+V) work as in any box.
void digitEntry(QLineEdit* e, QChar highest, QWidget* next);

// A password box: every character shows as "*", whatever the style would draw otherwise.
void showAsStars(QLineEdit* box);

// The progress bar beside a transfer's "k / T" label, showing the same count.
QProgressBar* transferProgressBar();
void showTransferProgress(QProgressBar* bar, int done, int total);

// A transfer's "k / T" label and bar, repainted at most four times a second: frames come far
// faster than a screen can usefully show them, and painting each one would cost the transfer
// more than its own work. The last value given is always shown.
class TransferProgressView : public QObject {
public:
    // `label` may be null: the bar alone shows the count.
    TransferProgressView(QLabel* label, QProgressBar* bar, QObject* parent = nullptr);

    void show(int done, int total);
    // Shows at once whatever is still waiting.
    void flush();
    // Empties the label and the bar.
    void clear();

private:
    void paint();

    QLabel* m_label;
    QProgressBar* m_bar;
    int m_done = 0;
    int m_total = 0;
    bool m_waiting = false;
    QElapsedTimer m_lastPaint;
    QTimer m_timer;
};

// Shows the device of a port in `label`, after `prefix`: its name shortened in the middle to
// `width` pixels when longer (a /dev/serial/by-id/ name is long and has no blank to wrap at),
// then always "(present)" or "(absent)"; the whole text, and `more`, in its tooltip and for a
// screen reader.
void showPortDevice(QLabel* label, const link::PortDevice& device, int width,
                    const QString& prefix = {}, const QString& more = {});

// The serial line of the configured port ("Comm Port" setting, read at each opening), used by
// the screen named `screen` ("Receive Data").
std::unique_ptr<link::SerialLink> configuredPort(ScreenContext& ctx, const QString& screen);

}  // namespace kovrin
