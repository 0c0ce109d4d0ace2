#pragma once

#include "reports/ReportData.h"

#include <QDialog>
#include <functional>

class QDateEdit;
class QEventLoop;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace kovrin {

class ScreenContext;
class FrmReportPreview;

// The report screen: the choice between the daily collection report (Report1), the agent
// collection report (Report2) and the upload register, the agent and account for Report1 (the
// agent for the register) and the date range. "&View" reads the chosen report and shows it in
// the preview. Opened modal to the main menu (and to it only).
class FrmReport : public QDialog {
    Q_OBJECT
public:
    // Shows the preview and returns when it is closed; the program runs it modal.
    using PreviewRunner = std::function<void(FrmReportPreview& preview)>;

    explicit FrmReport(ScreenContext& ctx, QWidget* parent = nullptr);

    void setPreviewRunner(PreviewRunner runner) { m_runPreview = std::move(runner); }
    // How long View waits for the first page before it shows "Reading the report ..." with
    // Cancel.
    void setReadingDialogDelay(int ms) { m_readingDialogDelayMs = ms; }

    void cmdView_Click();

    // What the operator is told when `count` collections of the report could not be read.
    static QString unreadableMessage(int count);

private:
    // The agent box goes with Report1 and the upload register, the account box with Report1.
    void showBoxes(bool agent, bool account);
    bool view(ReportKind kind, const ReportFilter& filter);
    // Waits until `ready` holds, the program running meanwhile; `notify` connects the reader's
    // signal that it may hold now to the loop's quit. False when the operator cancelled.
    bool waitWhileReading(const std::function<bool()>& ready,
                          const std::function<void(QEventLoop& loop)>& notify);

    ScreenContext& m_ctx;
    QRadioButton* m_opt1;
    QRadioButton* m_opt2;
    QRadioButton* m_opt3;
    QLabel* m_lbAgent;
    QLineEdit* m_agent;
    QLabel* m_lbAccount;
    QLineEdit* m_account;
    QDateEdit* m_from;
    QDateEdit* m_to;
    PreviewRunner m_runPreview;
    int m_readingDialogDelayMs = 500;
};

}  // namespace kovrin
