// The configuration screen: load, save rules and key rules.
#include "app/AppContext.h"
#include "app/FrmConfigure.h"
#include "db/PortDeviceStore.h"
#include "db/SettingsStore.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QtTest>

using namespace kovrin;

namespace {

const QString kAdapter = "/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0";
const QString kGone = "/dev/serial/by-id/usb-Prolific_PL2303-if00-port0";
// The system reports a USB adapter under its stable name and the first on-board port.
const link::SystemPorts kReported = {
    {kAdapter, "/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A1B2C3"},
    {"/dev/ttyS0", "/dev/ttyS0", "", "", ""}};

// "3=/dev/..;5=" as port -> device.
QMap<int, QString> mappingOf(const QString& text) {
    QMap<int, QString> m;
    for (const QString& part : text.split(';', Qt::SkipEmptyParts)) {
        m.insert(part.section('=', 0, 0).toInt(), part.section('=', 1));
    }
    return m;
}

QString textOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

}  // namespace

class TestConfigure : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void loadWithoutRow();
    void firstSaveWithoutPickingFontStoresMinusOne();
    void saveOverExistingRow();
    void pickingAFontOnFirstSaveStoresItsPosition();
    void storedPortTenSelectsTenthEntry();
    void storedPortNotANumberSelectsNothing();
    void enterInBankNameResetsPortAndMovesOn();
    void enterInPortListMovesToUpdateWithoutSaving();
    void lengthsAreLimited();
    void portDeviceShownBesideTheList();
    void portsMappedToReportedDevices_data();
    void portsMappedToReportedDevices();
    void longBranchNameIsWarnedAndSavedWhole_data();
    void longBranchNameIsWarnedAndSavedWhole();

private:
    void insertRow(const QString& port, const QString& font);
    QString stored(const QString& column);
    test::TempProgramFolder* m_pf = nullptr;
    test::MessageRecorder* m_rec = nullptr;
    std::unique_ptr<AppContext> m_ctx;
};

void TestConfigure::init() {
    m_pf = new test::TempProgramFolder;
    m_rec = new test::MessageRecorder;
    QString error;
    m_ctx = AppContext::startUp(m_pf->folder(), &error);
    QVERIFY(m_ctx);
    m_rec->clear();
}

void TestConfigure::cleanup() {
    m_ctx.reset();
    delete m_rec;
    delete m_pf;
}

void TestConfigure::insertRow(const QString& port, const QString& font) {
    QSqlQuery q(m_ctx->db().handle());
    q.prepare(
        "INSERT INTO Path (SNo, BankName, BranchName, \"Comm Port\", FontSize, "
        "BankInfoPath) VALUES (1, 'Old Bank', 'Old Branch', ?, ?, '/bank')");
    q.addBindValue(port);
    q.addBindValue(font);
    QVERIFY(q.exec());
}

QString TestConfigure::stored(const QString& column) {
    QSqlQuery q(m_ctx->db().handle());
    if (!q.exec(QString("SELECT \"%1\" FROM Path WHERE SNo='1'").arg(column)) || !q.next()) {
        return "<no row>";
    }
    return q.value(0).toString();
}

void TestConfigure::loadWithoutRow() {
    FrmConfigure f(*m_ctx);
    auto* port = f.findChild<QComboBox*>("cmbComPort");
    QCOMPARE(port->count(), 10);
    QCOMPARE(port->itemText(0), QString("1"));
    QCOMPARE(port->itemText(9), QString("10"));
    QCOMPARE(port->currentText(), QString("1"));
    QCOMPARE(f.findChild<QComboBox*>("cmbFontSize")->currentText(), QString("Small"));
    QVERIFY(f.findChild<QLineEdit*>("txtBankName")->text().isEmpty());
    QCOMPARE(f.windowTitle(), QString("Configuration"));
    QCOMPARE(m_rec->messages.size(), 0);
}

void TestConfigure::firstSaveWithoutPickingFontStoresMinusOne() {
    FrmConfigure f(*m_ctx);
    f.findChild<QLineEdit*>("txtBankName")->setText("  New Bank ");
    f.findChild<QLineEdit*>("txtBranchName")->setText(" Town ");
    f.findChild<QComboBox*>("cmbComPort")->setCurrentIndex(2);
    f.findChild<QPushButton*>("cmdUpdate")->click();
    QCOMPARE(stored("FontSize"), QString("-1"));
    QCOMPARE(stored("BankName"), QString("New Bank"));
    QCOMPARE(stored("BranchName"), QString("Town"));
    QCOMPARE(stored("Comm Port"), QString("3"));
    QCOMPARE(stored("SNo"), QString("1"));
    QCOMPARE(stored("BankInfoPath"), QString(""));
    QCOMPARE(m_ctx->settings().BankName, QString("New Bank"));
    QCOMPARE(m_ctx->settings().CommPort, QString("3"));
    QCOMPARE(m_ctx->settings().FontSize, QString("-1"));
    QCOMPARE(m_rec->texts(), QStringList{"Data Saved Successfully"});
    QCOMPARE(m_rec->last().icon, MsgIcon::Information);

    // The same screen saved again now edits the row: "Small" maps to "0".
    f.findChild<QPushButton*>("cmdUpdate")->click();
    QCOMPARE(stored("FontSize"), QString("0"));
}

void TestConfigure::saveOverExistingRow() {
    insertRow("5", "1");
    FrmConfigure f(*m_ctx);
    QCOMPARE(f.findChild<QLineEdit*>("txtBankName")->text(), QString("Old Bank"));
    QCOMPARE(f.findChild<QLineEdit*>("txtBranchName")->text(), QString("Old Branch"));
    QCOMPARE(f.findChild<QComboBox*>("cmbFontSize")->currentText(), QString("Big"));
    QCOMPARE(f.findChild<QComboBox*>("cmbComPort")->currentText(), QString("5"));
    QCOMPARE(m_ctx->settings().CommPort, QString("5"));
    f.findChild<QLineEdit*>("txtBranchName")->setText("O'Neil Road");
    f.findChild<QComboBox*>("cmbFontSize")->setCurrentIndex(0);
    f.findChild<QPushButton*>("cmdUpdate")->click();
    QCOMPARE(stored("FontSize"), QString("0"));
    QCOMPARE(stored("BranchName"), QString("O'Neil Road"));
    QCOMPARE(stored("BankInfoPath"), QString("/bank"));  // not this screen's column
    QCOMPARE(m_ctx->settings().BranchName, QString("O'Neil Road"));
    QCOMPARE(m_ctx->settings().FontSize, QString("0"));
}

void TestConfigure::pickingAFontOnFirstSaveStoresItsPosition() {
    FrmConfigure f(*m_ctx);
    auto* font = f.findChild<QComboBox*>("cmbFontSize");
    font->setCurrentIndex(1);
    emit font->activated(1);  // the operator picked "Big" from the list
    f.findChild<QPushButton*>("cmdUpdate")->click();
    QCOMPARE(stored("FontSize"), QString("1"));
}

void TestConfigure::storedPortTenSelectsTenthEntry() {
    insertRow("10", "0");
    FrmConfigure f(*m_ctx);
    QCOMPARE(f.findChild<QComboBox*>("cmbComPort")->currentIndex(), 9);
    QCOMPARE(f.findChild<QComboBox*>("cmbFontSize")->currentText(), QString("Small"));
}

void TestConfigure::storedPortNotANumberSelectsNothing() {
    insertRow("COM3", "0");
    FrmConfigure f(*m_ctx);
    QCOMPARE(f.findChild<QComboBox*>("cmbComPort")->currentIndex(), -1);
    f.findChild<QPushButton*>("cmdUpdate")->click();
    QCOMPARE(stored("Comm Port"), QString("COM3"));  // nothing chosen: kept
    f.findChild<QComboBox*>("cmbComPort")->setCurrentIndex(1);
    f.findChild<QPushButton*>("cmdUpdate")->click();
    QCOMPARE(stored("Comm Port"), QString("2"));
}

void TestConfigure::enterInBankNameResetsPortAndMovesOn() {
    FrmConfigure f(*m_ctx);
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    auto* port = f.findChild<QComboBox*>("cmbComPort");
    auto* bank = f.findChild<QLineEdit*>("txtBankName");
    port->setCurrentIndex(6);  // "7"
    bank->setFocus();
    QTest::keyClicks(bank, "Bank");
    QTest::keyClick(bank, Qt::Key_Return);
    QCOMPARE(port->currentText(), QString("1"));
    QTRY_VERIFY(port->hasFocus());
    QCOMPARE(bank->text(), QString("Bank"));
}

void TestConfigure::enterInPortListMovesToUpdateWithoutSaving() {
    FrmConfigure f(*m_ctx);
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    auto* port = f.findChild<QComboBox*>("cmbComPort");
    port->setFocus();
    QTRY_VERIFY(port->hasFocus());
    QTest::keyClick(port, Qt::Key_Enter);
    QTRY_VERIFY(f.findChild<QPushButton*>("cmdUpdate")->hasFocus());
    QCOMPARE(stored("SNo"), QString("<no row>"));
    QCOMPARE(m_rec->messages.size(), 0);
}

void TestConfigure::lengthsAreLimited() {
    FrmConfigure f(*m_ctx);
    QCOMPARE(f.findChild<QLineEdit*>("txtBankName")->maxLength(), 48);
    QCOMPARE(f.findChild<QLineEdit*>("txtBranchName")->maxLength(), 24);
}

void TestConfigure::portDeviceShownBesideTheList() {
    QVERIFY(QDir(m_pf->path()).mkdir("ports"));
    QVERIFY(QFile::link("/dev/null", m_pf->filePath("ports/com2")));
    FrmConfigure f(*m_ctx);
    auto* device = f.findChild<QLabel*>("lblPortDevice");
    auto* port = f.findChild<QComboBox*>("cmbComPort");
    port->setCurrentIndex(1);
    QCOMPARE(device->text(), QString("/dev/null (present)"));
    QCOMPARE(f.findChild<QLabel*>("lblPortState2")->text(),
             QString("ports/com2 link: /dev/null (present)"));
    // Nothing mapped, and the system reports no /dev/ttyS3.
    port->setCurrentIndex(3);
    QCOMPARE(device->text(), QString("no device"));
    f.findChild<QPushButton*>("cmdUpdate")->click();
    QCOMPARE(stored("Comm Port"), QString("4"));  // the number is stored, not the device
    // A device linked to one port is not mapped to another.
    m_ctx->ports().setScanner([] { return link::SystemPorts{{"/dev/null", "", "", "", ""}}; });
    f.findChild<QPushButton*>("cmdLookAgain")->click();
    f.findChild<QComboBox*>("cmbPortDevice5")->setCurrentIndex(1);
    m_rec->clear();
    f.findChild<QPushButton*>("cmdUpdate")->click();
    QVERIFY(m_rec->texts().value(0).startsWith(
        "One device cannot serve two ports: port 2 and port 5 (/dev/null)"));
}

// Each port is mapped to one of the devices the system reports, kept in the database and
// written to the audit trail; one device is refused on two ports; a mapped device the system
// does not report stays mapped and is shown absent until Look Again finds it.
void TestConfigure::portsMappedToReportedDevices_data() {
    QTest::addColumn<QString>("before");   // the mapping stored when the screen opens
    QTest::addColumn<QString>("pick");     // port=entry chosen (0: None, 1: the adapter)
    QTest::addColumn<QString>("plugged");  // reported too when Look Again is pressed
    QTest::addColumn<QString>("shown");    // port=state shown, after Look Again
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("after");  // the mapping stored after Update
    QTest::addColumn<QString>("audit");  // the audit line of the change; "" none
    const QString none;
    const QString saved = "Data Saved Successfully";
    QTest::newRow("the adapter mapped")
        << none << "3=1" << none << "3=" + kAdapter + " (present)" << saved << "3=" + kAdapter
        << "port devices changed: port 3: none -> " + kAdapter;
    QTest::newRow("the on-board port mapped")
        << none << "10=2" << none << "10=/dev/ttyS0 (present)" << saved << "10=/dev/ttyS0"
        << "port devices changed: port 10: none -> /dev/ttyS0";
    QTest::newRow("one device on two ports is refused")
        << none << "3=1;5=1" << none << "5=" + kAdapter + " (present)"
        << "One device cannot serve two ports: port 3 and port 5 (" + kAdapter +
               ") are mapped to the same device. Choose another device (or None) for one of "
               "them under \"Devices of the ports\", then press Update. Nothing was saved."
        << none << none;
    QTest::newRow("absent device kept, shown absent")
        << "4=" + kGone << none << none << "4=" + kGone + " (absent)" << saved << "4=" + kGone
        << none;
    QTest::newRow("absent device found by Look Again")
        << "4=" + kGone << none << kGone << "4=" + kGone + " (present)" << saved << "4=" + kGone
        << none;
    QTest::newRow("mapping taken away")
        << "2=" + kAdapter << "2=0" << none << "2=no device" << saved << none
        << "port devices changed: port 2: " + kAdapter + " -> none";
}

void TestConfigure::portsMappedToReportedDevices() {
    QFETCH(QString, before);
    QFETCH(QString, pick);
    QFETCH(QString, plugged);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    QFETCH(QString, after);
    QFETCH(QString, audit);
    link::SystemPorts reported = kReported;
    m_ctx->ports().setScanner([&reported] { return reported; });
    QMap<int, PortDeviceRow> stored;
    for (auto [port, device] : mappingOf(before).asKeyValueRange()) {
        stored.insert(port, {device, "USB-Serial Controller", "Prolific", ""});
    }
    QVERIFY(PortDeviceStore(m_ctx->db()).save(stored));
    m_ctx->setPortMapping(stored);

    FrmConfigure f(*m_ctx);
    for (auto [port, entry] : mappingOf(pick).asKeyValueRange()) {
        f.findChild<QComboBox*>(QString("cmbPortDevice%1").arg(port))
            ->setCurrentIndex(entry.toInt());
    }
    if (!plugged.isEmpty()) {
        reported << link::SystemPort{plugged, "/dev/ttyUSB1", "USB-Serial Controller", "Prolific",
                                     ""};
    }
    f.findChild<QPushButton*>("cmdLookAgain")->click();  // keeps what was chosen
    const int port = shown.section('=', 0, 0).toInt();
    // The whole name in the tooltip; shortened on the screen, never its state.
    auto* state = f.findChild<QLabel*>(QString("lblPortState%1").arg(port));
    QCOMPARE(state->toolTip(), shown.section('=', 1));
    QCOMPARE(state->text().section(' ', -1), shown.section(' ', -1));
    auto* box = f.findChild<QComboBox*>(QString("cmbPortDevice%1").arg(port));
    QCOMPARE(box->accessibleName(), QString("Port %1 device").arg(port));
    QCOMPARE(box->currentText().endsWith(" (absent)"), shown.endsWith(" (absent)"));

    const QString logBefore = textOf(m_ctx->operatorLog().filePath());
    f.findChild<QPushButton*>("cmdUpdate")->click();
    QCOMPARE(m_rec->texts(), QStringList{message});
    QMap<int, QString> kept;
    for (auto [p, row] : PortDeviceStore(m_ctx->db()).load().asKeyValueRange()) {
        kept.insert(p, row.device);
        if (row.device == kAdapter) {  // what the system said of it, kept with it
            QCOMPARE(row.serialNumber, QString("A1B2C3"));
        }
    }
    QCOMPARE(kept, mappingOf(after));
    QCOMPARE(m_ctx->ports().mapped(port).device, mappingOf(after).value(port));
    const QString logged = textOf(m_ctx->operatorLog().filePath()).mid(logBefore.size());
    QCOMPARE(logged.contains("port devices changed"), !audit.isEmpty());
    QVERIFY2(logged.contains(audit), qPrintable(logged));
    // Opened again, the screen shows what was kept.
    FrmConfigure again(*m_ctx);
    for (int p = 1; p <= 10; ++p) {
        QCOMPARE(again.findChild<QComboBox*>(QString("cmbPortDevice%1").arg(p))->currentData(),
                 QVariant(kept.value(p)));
    }
}

void TestConfigure::longBranchNameIsWarnedAndSavedWhole_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fromRow");   // stored before the screen opens, or typed
    QTest::addColumn<QString>("shown");  // what the warning quotes; empty: no warning
    const QString warned =
        "The name is saved whole, but the hand-held terminal shows only its "
        "first 22 characters: \"%1\"";
    QTest::newRow("22 characters typed") << "Kovrin Market Road Wes" << false << "";
    QTest::newRow("23 characters typed")
        << "Kovrin Market Road West" << false << warned.arg("Kovrin Market Road Wes");
    QTest::newRow("22 characters between blanks") << " Kovrin Market Road Wes " << false << "";
    QTest::newRow("24 characters stored")
        << "Kovrin Market Road West2" << true << warned.arg("Kovrin Market Road Wes");
    QTest::newRow("short name stored") << "Town" << true << "";
}

void TestConfigure::longBranchNameIsWarnedAndSavedWhole() {
    QFETCH(QString, name);
    QFETCH(bool, fromRow);
    QFETCH(QString, shown);
    if (fromRow) {
        insertRow("1", "0");
        QSqlQuery q(m_ctx->db().handle());
        q.prepare("UPDATE Path SET BranchName = ? WHERE SNo = '1'");
        q.addBindValue(name);
        QVERIFY(q.exec());
    }
    FrmConfigure f(*m_ctx);
    auto* branch = f.findChild<QLineEdit*>("txtBranchName");
    auto* warning = f.findChild<QLabel*>("lblBranchNameWarning");
    QVERIFY(warning);
    QVERIFY(warning->isHidden() || fromRow);
    if (!fromRow) {
        QTest::keyClicks(branch, name);
    }
    QCOMPARE(branch->text(), name);
    QCOMPARE(!warning->isHidden(), !shown.isEmpty());
    QCOMPARE(warning->text(), shown);
    f.findChild<QPushButton*>("cmdUpdate")->click();
    QCOMPARE(m_rec->texts(), QStringList{"Data Saved Successfully"});
    QCOMPARE(stored("BranchName"), name.trimmed());
    // Emptied, the warning goes.
    branch->clear();
    QVERIFY(warning->isHidden());
}

QTEST_MAIN(TestConfigure)
#include "tst_configure.moc"
