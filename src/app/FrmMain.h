#pragma once

#include <QPointer>
#include <QWidget>

class QPushButton;

namespace kovrin {

class AppContext;
class FrmConfigure;
class FrmDrive;

// The main menu: the first window, from which every other screen is opened. Closing it
// ends the program.
class FrmMain : public QWidget {
    Q_OBJECT
public:
    explicit FrmMain(AppContext& ctx, QWidget* parent = nullptr);

    // The settings screens, single instances: opening one that is open brings it forward.
    FrmConfigure* openConfigure();
    FrmDrive* openDrive();

signals:
    // The main menu was closed or "&EXIT" pressed: the program ends.
    void programEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    template <typename Screen>
    Screen* openSingle(QPointer<Screen>& slot);

    AppContext& m_ctx;
    QPointer<FrmConfigure> m_configure;
    QPointer<FrmDrive> m_drive;
};

}  // namespace kovrin
