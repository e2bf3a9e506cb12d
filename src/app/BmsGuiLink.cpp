// The sentence pump and the link status in the title.
#include "BmsGui.h"

#include "BasePage.h"
#include "Communicator.h"
#include "ConfigPage.h"
#include "StartupRules.h"
#include "Param.h"
#include "StatisticsPage.h"
#include "StatusPage.h"
#include "UpdatePage.h"
#include "Y5ProtocolHandler.h"

#include <QEvent>
#include <QStringList>
#include <algorithm>
#include <QTimer>

void BMS_GUI::slotReceivedSentence()
{
    // The Configuration page is told every line.
    configPage();
    m_pump.drain();
}

void BMS_GUI::processCsSentence(const QString& line)
{
    m_charging = chargingAfterCsLine(line, m_charging);
    updateStatisticsActions(!m_charging && m_accessLevel >= 2);
}

void BMS_GUI::slotUpdateStatus(int status)
{
    Communicator* c = m_communicator;
    if (!c || !m_protocolHandler)
        return;
    const QString port = titlePortText(c->portName());
    const bool linked = status != 0 && m_protocolHandler->isConnected();
    const bool boot = linked && m_protocolHandler->isBootMode();
    QString text;
    if (boot) {
        text = bootloaderTitle(port);
    } else if (linked) {
        text = linkedTitle(port, m_protocolHandler->deviceSerial(), m_protocolHandler->deviceVersion());
        m_protocolHandler->sendVersionRequest();
    } else {
        text = connectingTitle(m_connectDots);
        m_connectDots = m_connectDots >= 4 ? 0 : m_connectDots + 1;
    }
    if (linked)
        m_connectDots = 0;
    setWindowTitle(windowTitleFor(text));

    if (status != m_lastLinkStatus) {
        // A link is for every page: the Configuration page offers its load.
        if (status != 0)
            configPage();
        m_lastLinkStatus = status;
        const bool connected = status != 0;
        const QString deviceVersion = m_protocolHandler->deviceVersion();
        if (deviceVersion == QLatin1String("version LED_TEST")
            || deviceVersion == QLatin1String("version CAN_RETRANSMITTER")) {
            m_updatePage->connectionStatusChanged(connected);
            updateStatisticsActions(false);
        } else {
            const QString version = (linked && !boot)
                                        ? m_protocolHandler->versionLine().split(QLatin1Char(',')).value(3)
                                        : QStringLiteral("2.5.0");
            m_statusPage->updateFeatureVisibility(version);
            if (m_configPage)
                m_configPage->updateFeatureVisibility(version);
            if (!(linked && !boot))
                updateStatisticsActions(false);
            m_statusPage->connectionStatusChanged(connected);
            m_updatePage->connectionStatusChanged(connected);
            m_statisticsPage->connectionStatusChanged(connected);
            m_pagesToldLink = true;
            m_pagesLinked = connected;
            m_pagesVersion = version;
            m_pagesHadBitmap = m_featureBitmap.isFeatureBitmapValid();
            if (m_configPage) {
                m_configPage->connectionStatusChanged(connected);
            } else if (!connected) {
                // What the page's report of no link does outside it.
                setAccessLevel(0);
            }
            m_statusPage->setDistanceUnit(g_distanceUnit);
        }
    }

    if (!m_windowShown) {
        sizePageList();
        relayoutTree(this);
        fitToScreenAndShow();
        m_windowShown = true;
    }
}

QSize BMS_GUI::neededWindowSize() const
{
    QSize size = m_contentWidget->sizeHint();
    if (QWidget* menu = menuWidget())
        size.rheight() += menu->sizeHint().height();
    return size;
}

void BMS_GUI::fitToScreenAndShow()
{
    const QSize needed = neededWindowSize();
    if (m_screenWidth > 0 && m_screenHeight > 0) {
        const QRect g = fitWindowGeometry(needed, QSize(m_screenWidth, m_screenHeight));
        m_screenWidth -= 40;
        m_screenHeight -= 60;
        resize(g.size());
        move(g.topLeft());
    } else {
        resize(needed);
    }
    show();
    m_contentWidget->installEventFilter(this);
}

bool BMS_GUI::eventFilter(QObject* watched, QEvent* event)
{
    // Many labels change at once when values arrive: one look afterwards.
    if (watched == m_contentWidget && event->type() == QEvent::LayoutRequest && !m_growPending) {
        m_growPending = true;
        QTimer::singleShot(0, this, [this] {
            m_growPending = false;
            growToContent();
        });
    }
    return QMainWindow::eventFilter(watched, event);
}

void BMS_GUI::growToContent()
{
    // The scroll area looks at its content again only when a size changes:
    // a page that needs more room than the last one is never squeezed.
    const QSize least = m_contentWidget->minimumSizeHint();
    if (m_contentWidget->width() < least.width() || m_contentWidget->height() < least.height())
        m_contentWidget->resize(m_contentWidget->size().expandedTo(least));
    if (!isVisible() || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    QSize room = size();
    if (m_screenWidth > 0 && m_screenHeight > 0)
        room = room.expandedTo(QSize(m_screenWidth, m_screenHeight));
    const QSize wanted = size().expandedTo(neededWindowSize().boundedTo(room));
    if (wanted == size())
        return;
    resize(wanted);
    // Grown to the right or down: back within the screen.
    if (m_screenWidth > 0 && m_screenHeight > 0) {
        const int x = std::max(0, std::min(pos().x(), m_screenWidth - wanted.width()));
        const int y = std::max(0, std::min(pos().y(), m_screenHeight - wanted.height()));
        move(x, y);
    }
}

void BMS_GUI::slotReceivedVersionString(QString line)
{
    if (m_protocolHandler->resetPending) {
        // After a reset the unit asks for the login again: query it.
        QTimer::singleShot(100, this, [this] {
            // Another version line may have asked already and had its answer.
            if (!m_protocolHandler->resetPending)
                return;
            // Awaited before it is asked, or a quick reply goes unnoticed.
            m_protocolHandler->pw1ReplyPending = true;
            m_protocolHandler->sendPasswordQuery(20);
        });
    }
    const QStringList fields = line.split(QLatin1Char(','));
    if (line.startsWith(QLatin1String("VR1")) && fields.size() > 3) {
        // The unit that answers now: another unit may have been linked since
        // the log file was named, and the per-serial cache must not go to it.
        m_bmsSerial = serialFromHex(fields.at(2));
        if (!m_log.isSerialKnown())
            m_log.setSerial(m_bmsSerial);
    }
}
