// bms-sim's options take their devices off the emulated unit's CAN bus: the
// CAN Devices tab's discovery no longer lists them. ("--no-sensor" is met by
// the current sensor's own window tests.) Built once per option (BUS_OPTION)
// so that each executable links one window.
#include "DefaultBusWindow.h"

class TstBusOptionsWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { port_ = prepareBenchPort(dir_); }
    void deviceRemoved_data();
    void deviceRemoved();

private:
    QTemporaryDir dir_;
    QString port_;
};

void TstBusOptionsWindow::deviceRemoved_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QStringList>("devices");

    const QString gen2 = "MWB340 30001 16 4";
    const QList<QPair<QString, QStringList>> rows{
        {"--no-second-generation", firstGenerationRows() + QStringList{"HTP230 40001  4", "HXTM641 50001 0 5"}},
        {"--no-splitter", firstGenerationRows() + QStringList{gen2, "HXTM641 50001 0 5"}},
        {"--no-temperature-board", firstGenerationRows() + QStringList{gen2, "HTP230 40001  5"}},
    };
    for (const auto& row : rows)
        if (row.first == QLatin1String(BUS_OPTION))
            QTest::newRow(BUS_OPTION) << row.first << row.second;
}

void TstBusOptionsWindow::deviceRemoved()
{
    QFETCH(QString, option);
    QFETCH(QStringList, devices);
    discoverOnBus(port_, {option}, devices, nullptr);
}

QTEST_MAIN(TstBusOptionsWindow)
#include "tst_busoptions_window.moc"
