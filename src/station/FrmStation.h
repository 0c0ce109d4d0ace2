#pragma once

#include <QTimer>
#include <QVector>
#include <QWidget>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace kovrin {

class ScreenContext;
class Station;
class StationRow;
class TransferProgressView;
struct StationEntries;

// "Transfer Station": one row per serial port 1 to 10, each driving one hand-held terminal,
// all at once. A row shows its port's device and whether it is there, takes the agent, the day
// (ddmm), the number of transactions and the direction, and shows its state, its progress and
// its last message; a prompt waits in its row with OK and Cancel. Start All starts every row
// whose agent is filled in.
class FrmStation : public QWidget {
    Q_OBJECT
public:
    FrmStation(ScreenContext& ctx, QWidget* parent = nullptr);
    ~FrmStation() override;

    Station& station() { return *m_station; }
    // What closing the station now would stop or drop, for the operator's question; empty
    // when nothing.
    QString pendingWork() const;

    // "Start All" (Alt+A).
    void cmdStartAll_Click();
    void cmdStopAll_Click();

signals:
    // "Map Ports...": the operator asks for the Configuration screen, where the ports are
    // mapped to devices.
    void mapPortsRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Row {
        QCheckBox* use;
        QLabel* device;
        QLineEdit* agent;
        QLineEdit* date;
        QLineEdit* transact;
        QComboBox* direction;
        QLabel* state;
        QProgressBar* bar;
        TransferProgressView* progress;
        QPushButton* start;
        QPushButton* stop;
        QLabel* message;
        QPushButton* ok;
        QPushButton* cancel;
        int shownState = 0;  // the row's state when last shown (a RowState)
    };

    StationEntries entriesOf(int port) const;
    void startRow(int port);
    // The row's Stop: an upload not stored yet is not dropped unasked.
    void stopRow(int port);
    // The ports whose rows run a transfer, and those holding an upload not stored yet.
    void rowsAtWork(QStringList* running, QStringList* unstored) const;
    void showRow(int port);
    void showDevices();
    // Looks at the system's serial devices again and shows what each port stands for.
    void lookAtDevices();
    void setInUse(int port, bool inUse);

    ScreenContext& m_ctx;
    std::unique_ptr<Station> m_station;
    QVector<Row> m_rows;  // index: port - 1
    QPushButton* m_startAll;
    QPushButton* m_stopAll;
    QTimer m_devices;      // the devices are looked at again while the screen is shown
    bool m_sized = false;  // given the size its rows want, when first shown
};

}  // namespace kovrin
