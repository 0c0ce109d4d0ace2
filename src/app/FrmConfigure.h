#pragma once

#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace kovrin {

class AppContext;

// Bank name, branch name, serial port and the terminal's font size.
class FrmConfigure : public QWidget {
    Q_OBJECT
public:
    FrmConfigure(AppContext& ctx, QWidget* parent = nullptr);

    void cmdUpdate_Click();

private:
    void load();

    AppContext& m_ctx;
    QLineEdit* m_bankName;
    QComboBox* m_comPort;
    QLineEdit* m_branchName;
    QComboBox* m_fontSize;
    QPushButton* m_update;
    bool m_fontPicked = false;  // an entry of the font list was chosen by the operator
};

}  // namespace kovrin
