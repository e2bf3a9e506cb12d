// A small window over the serial link: pick a port, see the link state.
#include "Communicator.h"
#include "DebugLevels.h"
#include "Log.h"
#include "PortList.h"
#include "Y5ProtocolHandler.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("KEPO"));
    QCoreApplication::setApplicationName(QStringLiteral("KEPO BMS Dadevoz Arezi"));
    initDebugLevels();
    setLogSink([](const QString& text, int level) {
        std::fprintf(stderr, "[%d] %s\n", level, qPrintable(text));
    });

    auto* communicator = new Communicator;
    Y5ProtocolHandler handler(communicator);
    communicator->setProtocolHandler(&handler);
    QObject::connect(communicator, &CommunicatorBase::sigDataReceived, &handler,
                     &Y5ProtocolHandler::slotDataReceived, Qt::DirectConnection);

    QWidget window;
    window.setWindowTitle(QStringLiteral("KEPO BMS Dadevoz Arezi v2.11.0"));
    auto* layout = new QVBoxLayout(&window);
    auto* ports = new QComboBox;
    auto* state = new QLabel(QStringLiteral("Not connected"));
    layout->addWidget(ports);
    layout->addWidget(state);

    int chosen = -1;
    for (const PortEntry& p : availableSerialPorts()) {
        ports->addItem(portEntryText(p));
        if (chosen < 0 && isAutoConnectCandidate(p))
            chosen = ports->count() - 1;
    }
    if (chosen >= 0)
        ports->setCurrentIndex(chosen);
    if (ports->count() > 0)
        communicator->selectPort(ports->currentText());
    QObject::connect(ports, &QComboBox::currentTextChanged, communicator, &Communicator::selectPort,
                     Qt::DirectConnection);

    QObject::connect(communicator, &CommunicatorBase::sigStatusChanged, &window, [&](int s) {
        state->setText(s == 1 ? QStringLiteral("Connected: ") + handler.versionLine()
                              : QStringLiteral("Not connected"));
    });
    QObject::connect(communicator, &CommunicatorBase::sigReceivedSentence, &window, [&] {
        QString s;
        while (handler.getSentence(s)) {
        }
    });

    QThread thread;
    thread.setObjectName(QStringLiteral("Communicator Thread"));
    communicator->moveToThread(&thread);
    QObject::connect(&thread, &QThread::started, communicator, &Communicator::run);
    QObject::connect(communicator, &CommunicatorBase::done, &thread, &QThread::quit);
    thread.start();

    window.resize(420, 80);
    window.show();
    const int rc = app.exec();
    communicator->requestStop();
    thread.wait();
    delete communicator;
    return rc;
}
