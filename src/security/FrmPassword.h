#pragma once

#include "db/PasswordStore.h"

#include <QWidget>
#include <optional>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kovrin {

class ScreenContext;

// Changes one of the four passwords: the PC software's administrator and user passwords
// and the hand-held terminal's setup and main-screen passwords.
class FrmPassword : public QWidget {
    Q_OBJECT
public:
    FrmPassword(ScreenContext& ctx, QWidget* parent = nullptr);

    void cmdSend_Click();

private:
    std::optional<PasswordColumn> selectedColumn() const;
    QString& copyOf(PasswordColumn column);
    bool oldPasswordMatches(PasswordColumn column) const;
    void rejectOldPassword();
    void checkOldPassword();
    bool passwordBoxKey(QLineEdit* box, QKeyEvent* e);
    void showLevels(bool software);

    ScreenContext& m_ctx;
    QRadioButton* m_software;
    QRadioButton* m_handHeld;
    QRadioButton* m_admin;
    QRadioButton* m_user;
    QRadioButton* m_setup;
    QRadioButton* m_download;
    QGroupBox* m_frame4;  // Setup, Main Screen
    QGroupBox* m_frame5;  // Admin, User
    QLineEdit* m_old;
    QLineEdit* m_new;
    QLineEdit* m_confirm;
    QPushButton* m_update;
    PasswordRow m_copies;  // the stored passwords, read when the screen opens
};

}  // namespace kovrin
