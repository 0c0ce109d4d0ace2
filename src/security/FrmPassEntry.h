#pragma once

#include <QWidget>

class QLineEdit;

namespace kovrin {

class ScreenContext;

// Asks for the administrator password before a settings screen opens.
class FrmPassEntry : public QWidget {
    Q_OBJECT
public:
    FrmPassEntry(ScreenContext& ctx, QWidget* parent = nullptr);

    void cmdOK_Click();

signals:
    // The right password was entered; the screen has closed itself.
    void passwordAccepted();

private:
    void strengthenStoredHash(const QString& typed);

    ScreenContext& m_ctx;
    QLineEdit* m_password;
    QString m_adminPassword;  // the stored administrator password, read when the screen opens
};

}  // namespace kovrin
