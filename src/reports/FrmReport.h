#pragma once

#include "reports/ReportData.h"

#include <QDialog>
#include <functional>

class QDateEdit;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace kovrin {

class ScreenContext;
class FrmReportPreview;

// The report screen: the choice between the daily collection report (Report1) and the agent
// collection report (Report2), the agent and account for Report1 and the date range. "&View"
// reads the chosen report and shows it in the preview. Opened modal by the main menu.
class FrmReport : public QDialog {
    Q_OBJECT
public:
    // Shows the preview and returns when it is closed; the program runs it modal.
    using PreviewRunner = std::function<void(FrmReportPreview& preview)>;

    explicit FrmReport(ScreenContext& ctx, QWidget* parent = nullptr);

    void setPreviewRunner(PreviewRunner runner) { m_runPreview = std::move(runner); }

    void cmdView_Click();

    // What the operator is told when `count` collections of the report could not be read.
    static QString unreadableMessage(int count);

private:
    void showReport1Boxes(bool visible);
    bool view(ReportKind kind, const ReportFilter& filter);

    ScreenContext& m_ctx;
    QRadioButton* m_opt1;
    QRadioButton* m_opt2;
    QLabel* m_lbAgent;
    QLineEdit* m_agent;
    QLabel* m_lbAccount;
    QLineEdit* m_account;
    QDateEdit* m_from;
    QDateEdit* m_to;
    PreviewRunner m_runPreview;
};

}  // namespace kovrin
