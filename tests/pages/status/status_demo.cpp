// status-demo: the Status page in a window of its own, fed by the emulator's
// pack through the real link, for looking at it (screenshots). Not a test.
//   status-demo [--tab N] [--grab FILE] [--wait MS]
#include "CellStringLayout.h"
#include "StatusOverLink.h"
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

    PackModel pack;
    pack.setLayout(4, 16);
    pack.setCellInvalid(2, 3);
    pack.setWireBroken(1, 5);
    StatusOverLink rig;
    if (!rig.start(pack))
        return 1;
    SimLink& link = rig.link;
    StatusFixture& fx = *rig.fx;
    StatusPage& page = rig.page();
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
