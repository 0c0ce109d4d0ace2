// Takes the README's screenshots from the real program: every screen, rendered offscreen in
// a temporary program folder holding a rehearsed day (the example download file and the
// example upload), saved as PNG files into the folder given on the command line.
//
//   QT_QPA_PLATFORM=offscreen kovrin-screenshots docs/screenshots

#include "app/AppContext.h"
#include "app/FrmConfigure.h"
#include "app/FrmDrive.h"
#include "app/FrmMain.h"
#include "core/Messages.h"
#include "db/PasswordStore.h"
#include "db/PortDeviceStore.h"
#include "db/SettingsStore.h"
#include "download/DownloadFile.h"
#include "download/FrmSend.h"
#include "hht-sim/UploadScript.h"
#include "reports/FrmReport.h"
#include "reports/FrmReportPreview.h"
#include "security/FrmPassEntry.h"
#include "security/FrmPassword.h"
#include "security/Passwords.h"
#include "station/FrmStation.h"
#include "upload/FrmReceive.h"
#include "upload/RestoreData.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

using namespace kovrin;

namespace {

int failures = 0;

void shoot(QWidget* w, const QString& folder, const QString& name, bool fitContents = true) {
    if (fitContents) {
        w->adjustSize();
    }
    w->show();
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    if (!w->grab().save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (argc != 3) {
        std::fprintf(stderr, "usage: kovrin-screenshots OUTPUT-FOLDER EXAMPLES-FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString examples = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    // Messages are answered without a box: the screenshots show the screens only.
    Messages::setPresenter([](const MessageRequest&) { return MsgAnswer::Ok; });

    QTemporaryDir dir;
    const ProgramFolder folder(dir.path());
    QString error;
    // The evening of the rehearsed day.
    static const FixedClock clock(QDateTime(QDate(2026, 12, 7), QTime(19, 0)));
    auto ctx = AppContext::startUp(folder, &error, clock);
    if (!ctx) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString bank = folder.filePath(QStringLiteral("bank"));
    QDir().mkpath(bank);
    AppSettings& s = ctx->settings();
    SettingsStore(ctx->db()).saveConfiguration(
        {QStringLiteral("Kovrin Co-operative Bank"), QStringLiteral("2"),
         QStringLiteral("Market Road"), 1, QStringLiteral("Big")},
        s);
    SettingsStore(ctx->db()).saveFolder(FolderKind::BankInformation, bank, s);
    SettingsStore(ctx->db()).saveFolder(FolderKind::Report, folder.path(), s);
    PasswordStore(ctx->db()).save(PasswordColumn::Setup, QStringLiteral("1234"));
    PasswordStore(ctx->db()).save(PasswordColumn::Download, QStringLiteral("42"));

    // The rehearsed day: the example download stored, the example upload stored.
    const DownloadFileContents download =
        readDownloadFile(QDir(examples).filePath(QStringLiteral("0050712d.txt")));
    BankDataStore(ctx->db()).replaceAgentRows(
        download.agentId, bankDataRows(download, QStringLiteral("bank/0050712d.txt")));
    const sim::ScriptResult script =
        sim::loadUploadScript(QDir(examples).filePath(QStringLiteral("day-0050712.txt")));
    if (!script.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(script.error));
        return 1;
    }
    const sim::UploadFrames frames = sim::buildUploadFrames(script.script);
    UploadData data;
    data.RecordFrames = frames.frames;
    data.TotalRecords = int(frames.frames.size()) - 2;
    data.agentId = download.agentId;
    data.header = link::DecodeThirdProtocol(frames.frames.value(1));
    RestoreData restore(ctx->db(), s, folder);
    restore.setClock(clock);
    restore.run(data, [](const MessageRequest&) { return MsgAnswer::Ok; });

    FrmMain menu(*ctx);
    shoot(&menu, out, QStringLiteral("frmMain"));

    FrmPassEntry entry(*ctx);
    entry.findChild<QLineEdit*>(QStringLiteral("txtNewPass"))->setText(QStringLiteral("secret"));
    shoot(&entry, out, QStringLiteral("frmPassEntry"));

    // A hub of eight USB adapters, as the system reports them, mapped to ports 1 to 8.
    link::SystemPorts hub;
    QMap<int, PortDeviceRow> mapping;
    for (int i = 0; i < 8; ++i) {
        const QString serial = QStringLiteral("A5%1").arg(4711 + i);
        hub << link::SystemPort{
            QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_%1-if00-port0").arg(serial),
            QStringLiteral("/dev/ttyUSB%1").arg(i), QStringLiteral("FT232R USB UART"),
            QStringLiteral("FTDI"), serial};
        mapping.insert(
            i + 1, {hub.last().device, hub.last().description, hub.last().manufacturer, serial});
    }
    ctx->ports().setScanner([hub] { return hub; });
    ctx->ports().rescan();
    PortDeviceStore(ctx->db()).save(mapping);
    ctx->setPortMapping(mapping);

    FrmConfigure configure(*ctx);
    shoot(&configure, out, QStringLiteral("frmConfigure"));

    FrmDrive drive(*ctx, nullptr, [] { return QStringList{QDir::rootPath()}; });
    drive.findChild<QRadioButton*>(QStringLiteral("OpBank"))->setChecked(true);
    drive.setCurrentFolder(bank);
    shoot(&drive, out, QStringLiteral("frmDrive"));

    FrmPassword password(*ctx);
    password.findChild<QRadioButton*>(QStringLiteral("OpHandHeld"))->setChecked(true);
    password.findChild<QRadioButton*>(QStringLiteral("OpSetup"))->setChecked(true);
    shoot(&password, out, QStringLiteral("frmPassword"));

    FrmSend send(*ctx);
    send.findChild<QLineEdit*>(QStringLiteral("txtAgent"))->setText(QStringLiteral("5"));
    send.findChild<QLineEdit*>(QStringLiteral("txtDate"))->setText(QStringLiteral("0712"));
    send.findChild<QLineEdit*>(QStringLiteral("txtTransact"))->setText(QStringLiteral("3"));
    send.findChild<QLabel*>(QStringLiteral("lblRecord"))->setText(QStringLiteral("2 / 3"));
    auto* sendBar = send.findChild<QProgressBar*>(QStringLiteral("barRecord"));
    sendBar->setRange(0, 3);
    sendBar->setValue(2);
    shoot(&send, out, QStringLiteral("frmsend"));

    FrmReceive receive(*ctx);
    receive.findChild<QLabel*>(QStringLiteral("Label4"))->setText(QStringLiteral("005"));
    receive.findChild<QLabel*>(QStringLiteral("Label6"))->setText(QStringLiteral("0712"));
    receive.findChild<QLabel*>(QStringLiteral("TotalTransact"))->setText(QStringLiteral("5"));
    receive.findChild<QLabel*>(QStringLiteral("txtTotalAmount"))
        ->setText(QStringLiteral("1350.00"));
    receive.findChild<QLabel*>(QStringLiteral("lblRecord"))->setText(QStringLiteral("4 / 4"));
    auto* receiveBar = receive.findChild<QProgressBar*>(QStringLiteral("barRecord"));
    receiveBar->setRange(0, 4);
    receiveBar->setValue(4);
    shoot(&receive, out, QStringLiteral("frmReceive"));
    receive.close();

    // The morning on a hub of eight ports: what each row shows, as the rows would show it.
    FrmStation station(*ctx);
    station.findChild<QCheckBox*>(QStringLiteral("chkUse9"))->click();  // not on the hub
    station.findChild<QCheckBox*>(QStringLiteral("chkUse10"))->click();
    station.show();
    struct Row {
        int port;
        const char* agent;
        const char* date;
        const char* transact;
        int direction;
        const char* state;
        int done;
        int total;
        const char* message;
        bool prompt;
    };
    const QList<Row> rows = {
        {1, "5", "0712", "3", 0, "Completed", 4, 4, "Download Completed Successfully!", false},
        {2, "12", "0712", "1", 0, "Sending", 1312, 1980, "", false},
        {3, "17", "0712", "2", 0, "Sending", 870, 2000, "", false},
        {4, "21", "0712", "1", 0, "Failed", 0, 0,
         "Please goto Download Mode in the HandHeld Terminal and then Send Data!", false},
        {5, "26", "", "", 1, "Receiving", 388, 1450, "", false},
        {6, "31", "", "", 1, "Answer needed", 41, 1210,
         "Error in CRC,Press OK to try again or Cancel to Quit", true},
        {7, "33", "0712", "1", 0, "Sending", 1507, 1620, "Please Check the Communication Cable",
         false},
        {8, "40", "", "", 1, "Completed", 1735, 1735, "Upload Completed Successfully", false}};
    const auto child = [&station](const char* base, int port) {
        return QLatin1String(base) + QString::number(port);
    };
    for (const Row& r : rows) {
        // A row that completed has emptied its entries, ready for the next terminal.
        const bool completed = QLatin1String(r.state) == QLatin1String("Completed");
        station.findChild<QLineEdit*>(child("txtAgent", r.port))
            ->setText(completed ? QString() : QLatin1String(r.agent));
        station.findChild<QLineEdit*>(child("txtDate", r.port))
            ->setText(completed ? QString() : QLatin1String(r.date));
        station.findChild<QLineEdit*>(child("txtTransact", r.port))
            ->setText(completed ? QString() : QLatin1String(r.transact));
        station.findChild<QComboBox*>(child("cmbDirection", r.port))->setCurrentIndex(r.direction);
        station.findChild<QLabel*>(child("lblState", r.port))->setText(QLatin1String(r.state));
        auto* bar = station.findChild<QProgressBar*>(child("barRecord", r.port));
        bar->setRange(0, qMax(1, r.total));
        bar->setValue(r.done);
        bar->setTextVisible(r.total > 0);
        station.findChild<QLabel*>(child("lblMessage", r.port))->setText(QLatin1String(r.message));
        const bool busy = QLatin1String(r.state) == QLatin1String("Sending") ||
                          QLatin1String(r.state) == QLatin1String("Receiving") || r.prompt;
        for (const char* entry : {"txtAgent", "txtDate", "txtTransact", "cmbDirection"}) {
            station.findChild<QWidget*>(child(entry, r.port))->setEnabled(!busy);
        }
        station.findChild<QPushButton*>(child("cmdStart", r.port))->setEnabled(!busy);
        station.findChild<QPushButton*>(child("cmdStop", r.port))->setEnabled(busy);
        station.findChild<QPushButton*>(child("cmdOk", r.port))->setVisible(r.prompt);
        station.findChild<QPushButton*>(child("cmdCancel", r.port))->setVisible(r.prompt);
        if (QLatin1String(r.message).startsWith(QLatin1String("Please Check")) || r.prompt) {
            QPalette p = station.palette();
            p.setColor(QPalette::WindowText, Qt::darkRed);
            station.findChild<QLabel*>(child("lblMessage", r.port))->setPalette(p);
        }
    }
    QApplication::processEvents();  // the rows' messages take their room
    station.resize(station.sizeHint());
    shoot(&station, out, QStringLiteral("frmStation"), false);

    FrmReport report(*ctx);
    report.findChild<QRadioButton*>(QStringLiteral("OptReport1"))->setChecked(true);
    for (const char* picker : {"FromDTPicker", "ToDTPicker"}) {
        report.findChild<QDateEdit*>(QLatin1String(picker))->setDate(QDate(2026, 12, 5));
    }
    report.findChild<QDateEdit*>(QStringLiteral("ToDTPicker"))->setDate(QDate(2026, 12, 7));
    shoot(&report, out, QStringLiteral("frmReport"));
    bool previewed = false;
    report.setPreviewRunner([&](FrmReportPreview& preview) {
        preview.resize(860, 1100);
        shoot(&preview, out, QStringLiteral("DataReport1"), false);
        previewed = true;
    });
    report.cmdView_Click();
    if (!previewed) {
        std::fprintf(stderr, "the report preview did not open\n");
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
