// The Send Data screen: entries and their keys, buttons while sending, progress, passwords.
#include "DownloadFixture.h"
#include "app/AppContext.h"
#include "db/PasswordStore.h"
#include "download/DownloadTransfer.h"
#include "download/FrmSend.h"
#include "link/Frame.h"
#include "support/FakeSerialLink.h"
#include "support/MessageRecorder.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

using namespace kovrin;

class TestFrmSend : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void screenContents();
    void keyFilters();
    void enterMovesThroughTheEntries();
    void sendDisablesButtonsAndShowsProgress();
    void emptyTransactionsBecomesOne_data();
    void emptyTransactionsBecomesOne();
    void clearKeepsTheProgress();
    void exitClosesThePort();
    void passwordsReadAtEachSend();

private:
    FrmSend* open();
    void writeFile(int accounts);
    QLineEdit* edit(const char* n) { return m_screen->findChild<QLineEdit*>(n); }
    QPushButton* button(const char* n) { return m_screen->findChild<QPushButton*>(n); }

    std::unique_ptr<test::TempProgramFolder> m_pf;
    std::unique_ptr<test::MessageRecorder> m_rec;
    std::unique_ptr<AppContext> m_ctx;
    std::unique_ptr<test::FakeSerialLink> m_port;
    std::unique_ptr<FrmSend> m_screen;
};

void TestFrmSend::init() {
    m_pf = std::make_unique<test::TempProgramFolder>();
    m_rec = std::make_unique<test::MessageRecorder>();
    QString error;
    m_ctx = AppContext::startUp(m_pf->folder(), &error);
    QVERIFY(m_ctx);
    m_ctx->settings().BankInfoPath = m_pf->filePath("bank");
    m_ctx->settings().BankName = "Bank";
    m_ctx->settings().BranchName = "Branch";
    m_ctx->settings().FontSize = "0";
    QDir().mkpath(m_ctx->settings().BankInfoPath);
    m_port = std::make_unique<test::FakeSerialLink>();
    m_rec->clear();
}

void TestFrmSend::cleanup() {
    m_screen.reset();
    m_port.reset();
    m_ctx.reset();
    m_rec.reset();
    m_pf.reset();
}

FrmSend* TestFrmSend::open() {
    m_screen = std::make_unique<FrmSend>(*m_ctx, nullptr, m_port.get());
    m_screen->transfer().setTimings({1, 60000, 60000});
    m_screen->show();
    if (!QTest::qWaitForWindowActive(m_screen.get())) {
        return nullptr;
    }
    return m_screen.get();
}

void TestFrmSend::writeFile(int accounts) {
    QFile f(QDir(m_ctx->settings().BankInfoPath).filePath("0052503d.txt"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(test::downloadFile(accounts));
}

void TestFrmSend::screenContents() {
    QVERIFY(open());
    QCOMPARE(m_screen->windowTitle(), QString("Send Data"));
    QCOMPARE(m_screen->findChild<QLabel*>("Label2")->text(), QString("Send Data to HandHeld"));
    QCOMPARE(edit("txtAgent")->maxLength(), 3);
    QCOMPARE(edit("txtDate")->maxLength(), 4);
    QCOMPARE(edit("txtTransact")->maxLength(), 1);
    QCOMPARE(button("cmdSend")->text(), QString("&Send"));
    QCOMPARE(button("cmdClear")->text(), QString("&Clear"));
    QCOMPARE(button("cmdExit")->text(), QString("&Exit"));
    QVERIFY(m_screen->findChild<QLabel*>("lblRecord")->text().isEmpty());
    QCOMPARE(edit("txtAgent")->palette().color(QPalette::Base), QColor(0xE0, 0xE0, 0xE0));
}

void TestFrmSend::keyFilters() {
    QVERIFY(open());
    for (const char* name : {"txtAgent", "txtDate", "txtTransact"}) {
        QLineEdit* e = edit(name);
        e->setFocus();
        QTest::keyClicks(e, "a");
        QVERIFY2(e->text().isEmpty(), name);
    }
    QTest::keyClicks(edit("txtTransact"), "8");
    QTest::keyClicks(edit("txtTransact"), "9");
    QVERIFY(edit("txtTransact")->text().isEmpty());
    QTest::keyClicks(edit("txtTransact"), "7");
    QCOMPARE(edit("txtTransact")->text(), QString("7"));
    QTest::keyClicks(edit("txtAgent"), "12");
    QCOMPARE(edit("txtAgent")->text(), QString("12"));
    QTest::keyClick(edit("txtAgent"), Qt::Key_Backspace);
    QVERIFY(edit("txtAgent")->text().isEmpty());  // Backspace empties the whole entry
    QTest::keyClicks(edit("txtDate"), "2503x");
    QCOMPARE(edit("txtDate")->text(), QString("2503"));
}

void TestFrmSend::enterMovesThroughTheEntries() {
    QVERIFY(open());
    edit("txtAgent")->setFocus();
    QTest::keyClick(edit("txtAgent"), Qt::Key_Return);
    QTRY_VERIFY(edit("txtDate")->hasFocus());
    QTest::keyClick(edit("txtDate"), Qt::Key_Enter);
    QTRY_VERIFY(edit("txtTransact")->hasFocus());
    QTest::keyClick(edit("txtTransact"), Qt::Key_Return);
    QTRY_VERIFY(button("cmdSend")->hasFocus());
    QCOMPARE(m_rec->messages.size(), 0);  // nothing was sent
}

void TestFrmSend::sendDisablesButtonsAndShowsProgress() {
    QVERIFY(open());
    writeFile(2);
    connect(m_port.get(), &test::FakeSerialLink::wrote, this, [this](const QByteArray& f) {
        const QByteArray r =
            link::buildShortFrame('D', quint16(link::recordNumberOf(f).value_or(0)), "AACK");
        QTimer::singleShot(0, m_port.get(), [this, r] { m_port->inject(r); });
    });
    auto* label = m_screen->findChild<QLabel*>("lblRecord");
    auto* bar = m_screen->findChild<QProgressBar*>("barRecord");
    QStringList labels;
    m_rec->whileShown([&](const MessageRequest&) { labels << label->text(); });
    edit("txtAgent")->setText("5");
    edit("txtDate")->setText("2503");
    button("cmdSend")->click();
    QVERIFY(!button("cmdSend")->isEnabled());
    QVERIFY(!button("cmdClear")->isEnabled());
    QVERIFY(button("cmdExit")->isEnabled());
    QTRY_COMPARE(m_rec->count("Download Completed Successfully!"), 1);
    QCOMPARE(labels, QStringList{"2 / 2"});  // shown with the completion message
    QVERIFY(button("cmdSend")->isEnabled());
    QVERIFY(button("cmdClear")->isEnabled());
    // After completion the entries and the label are emptied, the focus back on the agent.
    QVERIFY(edit("txtAgent")->text().isEmpty());
    QVERIFY(edit("txtDate")->text().isEmpty());
    QVERIFY(label->text().isEmpty());
    QCOMPARE(bar->value(), 0);
    QTRY_VERIFY(edit("txtAgent")->hasFocus());
}

void TestFrmSend::emptyTransactionsBecomesOne_data() {
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("message");  // empty: the header goes out
    QTest::newRow("25 March") << "2503" << QString();
    QTest::newRow("29 February") << "2902" << QString();
    QTest::newRow("31 February")
        << "3102"
        << "3102 is not a day and month. Enter the date as ddmm, for example 2503 for 25 March.";
    QTest::newRow("month 25") << "0325"
                              << "0325 is not a day and month. Enter the date as ddmm, for "
                                 "example 2503 for 25 March.";
}

// Once the agent and a day are accepted an empty number of transactions becomes 1; a day
// that does not exist leaves it empty and sends the focus back to the date.
void TestFrmSend::emptyTransactionsBecomesOne() {
    QFETCH(QString, date);
    QFETCH(QString, message);
    QVERIFY(open());
    QFile f(QDir(m_ctx->settings().BankInfoPath).filePath("005" + date + "d.txt"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(test::downloadFile(1));
    f.close();
    edit("txtAgent")->setText("5");
    edit("txtDate")->setText(date);
    button("cmdSend")->click();
    if (message.isEmpty()) {
        QCOMPARE(edit("txtTransact")->text(), QString("1"));
        QCOMPARE(m_port->written.size(), 1);
        QCOMPARE(m_port->written[0].at(112), '1');  // the number of transactions in the header
        return;
    }
    QCOMPARE(m_rec->texts(), QStringList{message});
    QVERIFY(edit("txtTransact")->text().isEmpty());
    QTRY_VERIFY(edit("txtDate")->hasFocus());
    QCOMPARE(m_port->opened, 0);
    QVERIFY(button("cmdSend")->isEnabled());
}

void TestFrmSend::clearKeepsTheProgress() {
    QVERIFY(open());
    writeFile(3);
    edit("txtAgent")->setText("5");
    edit("txtDate")->setText("2503");
    edit("txtTransact")->setText("2");
    button("cmdSend")->click();
    m_port->inject(link::buildShortFrame('D', 0, "AACK"));
    QTRY_COMPARE(m_port->written.size(), 2);
    m_port->inject(link::buildShortFrame('D', 2, "AACK"));
    QTRY_COMPARE(m_screen->findChild<QLabel*>("lblRecord")->text(), QString("1 / 3"));
    m_port->inject(link::buildShortFrame('D', 3, "CLOS"));  // abandoned: entries kept
    QTRY_VERIFY(button("cmdClear")->isEnabled());
    QCOMPARE(edit("txtAgent")->text(), QString("5"));
    button("cmdClear")->click();
    QVERIFY(edit("txtAgent")->text().isEmpty());
    QVERIFY(edit("txtDate")->text().isEmpty());
    QVERIFY(edit("txtTransact")->text().isEmpty());
    QCOMPARE(m_screen->findChild<QLabel*>("lblRecord")->text(), QString("1 / 3"));
}

void TestFrmSend::exitClosesThePort() {
    QVERIFY(open());
    writeFile(3);
    edit("txtAgent")->setText("5");
    edit("txtDate")->setText("2503");
    button("cmdSend")->click();
    QVERIFY(m_port->isOpen());
    button("cmdExit")->click();
    QVERIFY(!m_port->isOpen());
    QVERIFY(!m_screen->isVisible());
    QVERIFY(!m_screen->transfer().isSending());
}

void TestFrmSend::passwordsReadAtEachSend() {
    // One screen open throughout; the Password row changes between the downloads.
    struct Step {
        const char* download;  // nullptr: no row yet
        const char* setup;
        QByteArray sent;  // header bytes 114-122: download password, "1", setup password
    };
    const Step steps[] = {
        {nullptr, nullptr, "000010000"}, {"42", "7", "004210007"}, {"9999", "", "999910000"}};
    QVERIFY(open());
    writeFile(1);
    edit("txtAgent")->setText("5");
    edit("txtDate")->setText("2503");
    for (const Step& step : steps) {
        if (step.download) {
            QVERIFY(PasswordStore(m_ctx->db()).save(PasswordColumn::Download, step.download));
            QVERIFY(PasswordStore(m_ctx->db()).save(PasswordColumn::Setup, step.setup));
        }
        m_port->written.clear();
        button("cmdSend")->click();
        QCOMPARE(m_port->written.size(), 1);
        const QByteArray h = m_port->written[0];
        QCOMPARE(h.size(), 137);
        QCOMPARE(h.mid(113, 9), step.sent);
        // The terminal is not in download mode: the transfer ends, the entries stay.
        m_port->inject(link::buildShortFrame('D', 0, "CLOS"));
        QTRY_VERIFY(!m_screen->transfer().isSending());
    }
    QCOMPARE(m_rec->count("Please goto Download Mode in the HandHeld Terminal and then Send Data!"),
             3);
}

QTEST_MAIN(TestFrmSend)
#include "tst_frmsend.moc"
