#pragma once

#include "BasePage.h"

#include <QString>

#include <cstdint>

class QLabel;

// The Status page (page 0): what the connected unit reports about the pack.
// For now the hooks, slots and signals the main window and the other pages
// use; the tabs come with their own builders.
class StatusPage : public BasePage
{
    Q_OBJECT
public:
    StatusPage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent, FeatureSupportTable* featureTable);

    void processSentence(const QString& sentence) override;
    void connectionStatusChanged(bool linked) override;

    void setDistanceUnit(const QString& unit);
    QString distanceUnit() const { return m_distanceUnit; }
    void setPollingEnabled(bool enabled);
    bool isPollingEnabled() const { return m_pollingEnabled; }
    // The shown text of the value with this caption; empty when there is none.
    QString getStatusValueText(const QString& caption) const;
    // One log line for the page's log view; safe from any thread.
    void writeLog(const QString& line);

    // State of Health value of the General tab.
    QLabel* sohLabel = nullptr;

signals:
    void sigClose();
    void sigLogLine(QString line);

public slots:
    void slotCurrentPageChanged(int index);
    void slotReceivedVersionString(QString line);
    void slotConfigParamUpdate(int id, uint32_t value);
    void slotDistanceUnitChanged();
    void slotObsoleteVersionDialog();

private:
    QString m_distanceUnit;
    bool m_pollingEnabled = false;
};
