#include "reports/FrmReport.h"

#include "core/Messages.h"
#include "reports/DailyReportPager.h"
#include "reports/FrmReportPreview.h"
#include "reports/ReportCsv.h"
#include "reports/ReportLayout.h"
#include "reports/WholeReportReader.h"
#include "ui/FocusColours.h"
#include "ui/KeyFilter.h"
#include "ui/ScreenContext.h"

#include <QDateEdit>
#include <QEventLoop>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace kovrin {

namespace {

const QString kScreen = QStringLiteral("frmReport");

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QDateEdit* datePicker(const char* name) {
    auto* picker = named(new QDateEdit, name);
    picker->setCalendarPopup(true);
    picker->setLocale(QLocale::c());
    picker->setDisplayFormat(QStringLiteral("dd-MMM-yyyy"));
    return picker;
}

}  // namespace

QString FrmReport::unreadableMessage(int count) {
    if (count == 1) {
        return QStringLiteral(
            "1 collection could not be read: its stored amount or date is not valid. The totals "
            "exclude it; it is listed at the end of the report under \"Collections that could "
            "not be read\".\nUpload that agent's collections again, or call support.");
    }
    return QStringLiteral(
               "%1 collections could not be read: their stored amounts or dates are not valid. "
               "The totals exclude them; they are listed at the end of the report under "
               "\"Collections that could not be read\".\nUpload the collections of the agents "
               "listed there again, or call support.")
        .arg(count);
}

FrmReport::FrmReport(ScreenContext& ctx, QWidget* parent) : QDialog(parent), m_ctx(ctx) {
    setObjectName(kScreen);
    setWindowTitle(QStringLiteral("Report"));
    // Modal to the main menu only: the Transfer Station, a window of its own, goes on answering
    // and stopping its rows while a report is chosen, read or shown.
    setWindowModality(Qt::WindowModal);

    m_opt1 = named(new QRadioButton(QStringLiteral("Report1")), "OptReport1");
    m_opt2 = named(new QRadioButton(QStringLiteral("Report2")), "OptReport2");
    m_opt3 = named(new QRadioButton(QStringLiteral("Upload Register")), "OptReport3");
    m_lbAgent = named(new QLabel(QStringLiteral("Agent ID :")), "lbAgentID");
    m_agent = named(new QLineEdit, "txtAgentID");
    m_lbAccount = named(new QLabel(QStringLiteral("Account No :")), "lbAccountNo");
    m_account = named(new QLineEdit, "txtAccountNo");
    auto* lbFrom = named(new QLabel(QStringLiteral("From Date :")), "lbFromDate");
    m_from = datePicker("FromDTPicker");
    auto* lbTo = named(new QLabel(QStringLiteral("To Date :")), "lbToDate");
    m_to = datePicker("ToDTPicker");
    auto* view = named(new QPushButton(QStringLiteral("&View")), "cmdView");
    auto* exit = named(new QPushButton(QStringLiteral("&Exit")), "cmdExit");
    m_lbAgent->setBuddy(m_agent);
    m_lbAccount->setBuddy(m_account);
    lbFrom->setBuddy(m_from);
    lbTo->setBuddy(m_to);

    auto* layout = new QVBoxLayout(this);
    auto* options = new QHBoxLayout;
    options->addWidget(m_opt1);
    options->addWidget(m_opt2);
    options->addWidget(m_opt3);
    layout->addLayout(options);
    auto* grid = new QGridLayout;
    grid->addWidget(m_lbAgent, 0, 0);
    grid->addWidget(m_agent, 0, 1);
    grid->addWidget(m_lbAccount, 1, 0);
    grid->addWidget(m_account, 1, 1);
    grid->addWidget(lbFrom, 2, 0);
    grid->addWidget(m_from, 2, 1);
    grid->addWidget(lbTo, 3, 0);
    grid->addWidget(m_to, 3, 1);
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(view);
    buttons->addWidget(exit);
    layout->addLayout(buttons);

    setTabOrder(m_opt1, m_opt2);
    setTabOrder(m_opt2, m_opt3);
    setTabOrder(m_opt3, m_agent);
    setTabOrder(m_agent, m_account);
    setTabOrder(m_account, m_from);
    setTabOrder(m_from, m_to);
    setTabOrder(m_to, view);
    setTabOrder(view, exit);

    // Loading: both pickers show today; neither report is chosen; the boxes are visible.
    const QDate today = m_ctx.clock().today();
    m_from->setDate(today);
    m_to->setDate(today);

    // Report1 shows the agent and account boxes with their labels, Report2 hides them (their
    // text is kept), the upload register shows the agent box only, whether the option was
    // clicked or reached with the keyboard.
    const QList<std::pair<QRadioButton*, std::pair<bool, bool>>> options_ = {
        {m_opt1, {true, true}}, {m_opt2, {false, false}}, {m_opt3, {true, false}}};
    for (const auto& [option, boxes] : options_) {
        const auto [agent, account] = boxes;
        connect(option, &QRadioButton::toggled, this, [this, agent, account](bool on) {
            if (on) {
                showBoxes(agent, account);
            }
        });
        QRadioButton* const button = option;
        FocusInFilter::install(option, [this, button, agent, account] {
            if (button->isChecked()) {
                showBoxes(agent, account);
            }
        });
    }

    // Enter moves the focus to the next control, as Tab would; nothing is viewed.
    for (QWidget* control : {static_cast<QWidget*>(m_agent), static_cast<QWidget*>(m_account),
                             static_cast<QWidget*>(m_from), static_cast<QWidget*>(m_to)}) {
        KeyFilter::install(control, [this](QKeyEvent* e) {
            if (!KeyFilter::isEnter(e)) {
                return false;
            }
            focusNextChild();
            return true;
        });
    }

    connect(view, &QPushButton::clicked, this, &FrmReport::cmdView_Click);
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);

    m_runPreview = [](FrmReportPreview& preview) {
        preview.setWindowModality(Qt::WindowModal);
        preview.exec();
    };
    FocusColours::apply(this);
}

void FrmReport::showBoxes(bool agent, bool account) {
    m_lbAgent->setVisible(agent);
    m_agent->setVisible(agent);
    m_lbAccount->setVisible(account);
    m_account->setVisible(account);
}

void FrmReport::cmdView_Click() {
    if (!m_opt1->isChecked() && !m_opt2->isChecked() && !m_opt3->isChecked()) {
        Messages::info(kScreen, QStringLiteral("Please choose Report1, Report2 or Upload "
                                               "Register, then press View."));
        return;
    }
    const ReportKind kind = m_opt1->isChecked()   ? ReportKind::DailyCollection
                            : m_opt2->isChecked() ? ReportKind::AgentCollection
                                                  : ReportKind::UploadRegister;
    ReportFilter filter;
    filter.from = m_from->date();
    filter.to = m_to->date();
    if (filter.from > filter.to) {
        Messages::info(kScreen, QStringLiteral("The From Date (%1) is after the To Date (%2).\n"
                                               "Please choose a From Date on or before the To "
                                               "Date.")
                                    .arg(reportDateText(filter.from), reportDateText(filter.to)));
        return;
    }
    if (kind != ReportKind::AgentCollection) {
        filter.agent = m_agent->text().trimmed();
    }
    if (kind == ReportKind::DailyCollection) {
        filter.account = m_account->text().trimmed();
    }
    view(kind, filter);
}

bool FrmReport::waitWhileReading(const std::function<bool()>& ready,
                                 const std::function<void(QEventLoop& loop)>& notify) {
    if (ready()) {
        return true;
    }
    // The program goes on meanwhile (transfers included); the screen waits without taking
    // another View, and offers Cancel if the report is slow to come.
    QProgressDialog dialog(QStringLiteral("Reading the report ..."), QStringLiteral("Cancel"), 0, 0,
                           this);
    dialog.setObjectName(QStringLiteral("dlgReading"));
    dialog.setWindowTitle(QStringLiteral("Report"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.hide();
    QEventLoop loop;
    QTimer slow;
    slow.setSingleShot(true);
    slow.setInterval(m_readingDialogDelayMs);
    connect(&slow, &QTimer::timeout, &dialog, &QWidget::show);
    notify(loop);
    connect(&dialog, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
    setEnabled(false);
    slow.start();
    if (!ready()) {
        loop.exec();
    }
    setEnabled(true);
    // Cancelled: the caller stops the reading, nothing is shown.
    return !dialog.wasCanceled() && ready();
}

bool FrmReport::view(ReportKind kind, const ReportFilter& filter) {
    const ReportSource source(m_ctx.db().filePath());
    ReportStatus status;
    // The rows are read once and shared by the preview, the pages and the CSV writer.
    std::shared_ptr<AgentCollectionData> agents;
    std::shared_ptr<RegisterData> uploads;
    int rows = 0;
    int unreadable = 0;
    QStringList branchIds;
    std::shared_ptr<DailyReportPager> pager;
    if (kind == ReportKind::DailyCollection) {
        // Read off the program's thread, so that the transfers going on meanwhile are served:
        // the preview opens on the first page, the rest is read while it is shown.
        pager = std::make_shared<DailyReportPager>(source.databasePath(), filter);
        pager->start();
        DailyReportPager* const p = pager.get();
        if (!waitWhileReading([p] { return p->waitForFirstPage(0); },
                              [p](QEventLoop& loop) {
                                  connect(p, &DailyReportPager::firstPageRead, &loop,
                                          &QEventLoop::quit);
                              })) {
            pager->cancel();
            return false;
        }
        const DailyReportState st = pager->state();
        status = st.status;
        rows = static_cast<int>(std::min<qint64>(st.rows, 1 << 30));
        unreadable = static_cast<int>(st.unreadable.size());
        branchIds = st.branchIds;
    } else {
        // Read whole off the program's thread (one row per agent and day, or per upload): the
        // transfers going on meanwhile are served, and Cancel stops the read.
        WholeReportReader reader(source.databasePath(), kind, filter);
        reader.start();
        if (!waitWhileReading([&reader] { return reader.ended(); },
                              [&reader](QEventLoop& loop) {
                                  connect(&reader, &WholeReportReader::finished, &loop,
                                          &QEventLoop::quit);
                              })) {
            reader.cancel();
            return false;
        }
        status = reader.status();
        agents = reader.agents();
        uploads = reader.uploads();
        if (agents) {
            rows = static_cast<int>(agents->rows.size());
            unreadable = static_cast<int>(agents->unreadable.size());
            branchIds = agents->branchIds;
        } else if (uploads) {
            rows = uploads->rowCount();
        }
    }
    if (status.code == ReportStatus::Code::DatabaseError) {
        Messages::critical(kScreen, QStringLiteral("The report could not be read from the "
                                                   "database file %1: %2.\nTry again; if it "
                                                   "happens again, call support.")
                                        .arg(source.databasePath(), status.detail));
        return false;
    }
    if (rows == 0 && unreadable == 0) {
        QString text =
            kind == ReportKind::UploadRegister
                ? QStringLiteral("There are no uploads %1.").arg(filter.describe(kind))
                : QStringLiteral("There are no collections %1.").arg(filter.describe(kind));
        text += !filter.agent.isEmpty() || !filter.account.isEmpty()
                    ? (kind == ReportKind::UploadRegister
                           ? QStringLiteral("\nChoose other dates, or check the Agent ID.")
                           : QStringLiteral(
                                 "\nChoose other dates, or check the Agent ID and Account No."))
                    : QStringLiteral("\nChoose other dates.");
        Messages::info(kScreen, text);
        return false;
    }
    // Rows that cannot be read do not hold up the report: it is shown without them, and the
    // operator hears how many were left out before it opens.
    if (unreadable > 0) {
        Messages::info(kScreen, unreadableMessage(unreadable));
    }

    const ReportHeading heading{m_ctx.settings().BankName,
                                branchIdText(branchIds, m_ctx.settings().BranchName), filter.from,
                                filter.to};
    PreviewContent content;
    if (pager) {
        content.report = pagedDailyCollection(pager, heading);
        content.writeCsv = [pager](QIODevice& out) {
            return streamDailyCollectionCsv(*pager, out, nullptr) == CsvOutcome::Done;
        };
        content.pager = pager;
    } else if (agents) {
        content.report = pagedAgentCollection(agents, heading);
        content.writeCsv = [agents](QIODevice& out) {
            return writeAgentCollectionCsv(*agents, out);
        };
    } else {
        content.report = pagedUploadRegister(uploads, heading);
        content.writeCsv = [uploads](QIODevice& out) {
            return writeUploadRegisterCsv(*uploads, out);
        };
    }
    // The save dialogs start in the report folder; until one is chosen, in the program folder.
    const QString reportPath = m_ctx.settings().ReportPath.trimmed();
    content.folder =
        !reportPath.isEmpty() && QFileInfo(reportPath).isDir() ? reportPath : m_ctx.folder().path();
    content.pdfFileName =
        defaultReportFileName(kind, filter.from, filter.to, QStringLiteral("pdf"));
    content.csvFileName =
        defaultReportFileName(kind, filter.from, filter.to, QStringLiteral("csv"));
    FrmReportPreview preview(std::move(content), this);
    m_runPreview(preview);
    return true;
}

}  // namespace kovrin
