#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

class QPushButton;

namespace kovrin {

class AppContext;
class FrmConfigure;
class FrmDrive;
class FrmPassEntry;
class FrmPassword;
class FrmReceive;
class FrmSend;
class FrmStation;

// The main menu: the first window, from which every other screen is opened. Closing it
// ends the program.
class FrmMain : public QWidget {
    Q_OBJECT
public:
    explicit FrmMain(AppContext& ctx, QWidget* parent = nullptr);
    ~FrmMain() override;

    // Which settings screen the password entry opens after the right password.
    enum class SettingsScreen { Configuration, FolderSelection };

    // "&CONFIGURE" and "&DRIVE SELECTION": the password entry, then the settings screen
    // of the button pressed last.
    FrmPassEntry* openPasswordEntry(SettingsScreen next);

    // Screens are single instances: opening one that is open brings it forward.
    FrmConfigure* openConfigure();
    FrmDrive* openDrive();
    FrmPassword* openPassword();
    FrmSend* openSend();
    FrmReceive* openReceive();
    // "&TRANSFER STATION": several terminals at once, one per port.
    FrmStation* openStation();

    // Ends the program without asking (the session ends: SIGTERM, SIGHUP): every transfer
    // is stopped as on EXIT, `why` in the transfer log.
    void endProgram(const QString& why);
    // The same for SIGTERM or SIGHUP ("SIGTERM"): written to operator.log first.
    void endBySignal(const QString& signal);
    // What ending the program now would stop or drop; empty when nothing.
    QStringList pendingWork() const;

signals:
    // The main menu was closed or "&EXIT" pressed: the program ends.
    void programEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    template <typename Screen>
    Screen* openSingle(QPointer<Screen>& slot);
    // Stops every transfer of the open screens: what an upload received stays on disk, each
    // transfer's log ends with `why`, every port is let go.
    void stopTransfers(const QString& why);

    AppContext& m_ctx;
    QPointer<FrmConfigure> m_configure;
    QPointer<FrmDrive> m_drive;
    QPointer<FrmPassEntry> m_passEntry;
    QPointer<FrmPassword> m_password;
    QPointer<FrmSend> m_send;
    QPointer<FrmReceive> m_receive;
    QPointer<FrmStation> m_station;
    bool m_ended = false;
    SettingsScreen m_nextSettingsScreen = SettingsScreen::Configuration;
};

}  // namespace kovrin
