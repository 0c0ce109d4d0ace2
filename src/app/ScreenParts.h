#pragma once

#include <QString>
#include <memory>

class QLabel;
class QProgressBar;

namespace kovrin {

class AppContext;
namespace link {
class SerialLink;
}

// Pieces several screens are built from.

// A screen's heading: centred, bold, larger than the rest.
QLabel* titleLabel(const QString& text, const char* objectName);

// The progress bar beside a transfer's "k / T" label, showing the same count.
QProgressBar* transferProgressBar();
void showTransferProgress(QProgressBar* bar, int done, int total);

// The serial line of the configured port ("Comm Port" setting, read at each opening).
std::unique_ptr<link::SerialLink> configuredPort(AppContext& ctx);

}  // namespace kovrin
