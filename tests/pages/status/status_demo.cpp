// status-demo: the Status page in a window of its own, fed by the emulator's
// pack through the real link, for looking at it (screenshots). Not a test.
//   status-demo [--tab N] [--grab FILE] [--wait MS]
#include "CellStringLayout.h"
#include "PackModel.h"
#include "SimLink.h"
#include "StatusFixture.h"
#include "myTabWidget.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser cli;
    cli.addOption({"tab", "tab index to show", "N", "0"});
    cli.addOption({"grab", "save a picture of the window and quit", "FILE"});
    cli.addOption({"wait", "milliseconds before the picture", "MS", "6000"});
    cli.process(app);

    SimLink link;
    PackModel pack;
    pack.setLayout(4, 16);
    pack.setCellInvalid(2, 3);
    pack.setWireBroken(1, 5);
    pack.install(link.sim);
    if (!link.start() || !link.waitLinked())
        return 1;
    StatusFixture fx(link.comm, &link.handler);
    StatusPage& page = *fx.page;
    QTimer pump;
    QObject::connect(&pump, &QTimer::timeout, [&]() {
        QString s;
        while (link.handler.getSentence(s)) {
            page.processSentence(s);
            fx.map.dispatch(s);
        }
    });
    pump.start(20);
    QTimer ms;
    QObject::connect(&ms, &QTimer::timeout, [&]() { pack.sendMasterSlave(link.sim); });
    ms.start(1000);

    setCellStringCount(4);
    for (int s = 0; s < 4; ++s)
        setCellsInString(s, 16);
    fx.features.setBitmapSource(nullptr);
    page.slotReceivedVersionString(link.handler.versionLine());
    page.processSentence(link.handler.versionLine());
    page.updateFeatureVisibility(link.handler.deviceVersion());
    page.slotConfigParamUpdate(0x0010, 5);
    page.slotConfigParamUpdate(0x1600, pack.configValue(0x1600));
    page.connectionStatusChanged(true);
    const int tab = cli.value("tab").toInt();
    page.tabs()->setCurrentIndex(tab);
    page.slotCurrentPageChanged(0);
    page.resize(1250, 820);
    page.show();

    if (cli.isSet("grab")) {
        const QString file = cli.value("grab");
        QTimer::singleShot(cli.value("wait").toInt(), [&page, file]() {
            page.grab().save(file);
            page.connectionStatusChanged(false);
            QTimer::singleShot(300, qApp, &QApplication::quit);
        });
    }
    return app.exec();
}
