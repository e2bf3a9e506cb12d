#pragma once

#include "BasePage.h"

#include <QList>
#include <QSet>
#include <QString>

#include <cstdint>
#include <functional>

class MyEventsView;
class Param;
class QPushButton;
class QSettings;
class QTimer;
class StatisticsView;
class myTabWidget;

// The store of manual statistics exports: organisation "KEPO", this
// application name. One name for every reader and writer.
inline constexpr const char* kManualStatisticsStore = "KEPO BMS Dadevoz Arezi/Manually Exported Statistics";
inline constexpr const char* kStatisticsOrganisation = "KEPO";

// The Statistics page (page 1): the unit's lifetime statistics and its event
// log in two tabs, polled once a second while their tab can be seen, cleared
// after a question and copied to the clipboard; and the export of the
// statistics into a settings store and their import back into a unit
// (StatisticsExport.cpp). GUI thread.
class StatisticsPage : public BasePage
{
    Q_OBJECT
public:
    // Bits of StatisticsExportFlags: which export captures which reply.
    enum : uint8_t {
        ExportAutoSs1 = 0x01,
        ExportManualSs1 = 0x02,
        ExportAutoSs2 = 0x04,
        ExportManualSs2 = 0x08,
    };

    // The boxes the page shows; tests replace them.
    struct Dialogs
    {
        // A Yes/No question, No the default; true for Yes.
        std::function<bool(const QString& text)> confirm;
        // A critical box with an Ok button.
        std::function<void(const QString& title, const QString& text)> critical;
    };

    StatisticsPage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent,
                   FeatureSupportTable* featureTable);
    ~StatisticsPage() override;

    void setDialogs(const Dialogs& dialogs);

    // Creates the widget of the kind (label, line edit, spin box, combo box,
    // text edit, events view, statistics view; null for any other) and its
    // Param, registered for the sentence field in the shared map.
    QWidget* addStatisticsParam(const QString& displayName, const QString& sentenceName, int fieldIndex,
                                int valueType, int offset, double scale, int decimals, int widgetKind,
                                Param** out = nullptr);

    void connectionStatusChanged(bool connected) override;
    void setAccessEnabled(bool enabled);
    // "Statistics:" with every shown statistics row, then "Events:" and the log.
    QString collectText() const;

    // Captures the unit's statistics into the automatic or the manual store;
    // true when every series arrived whole.
    bool exportStatistics(bool automatic);
    // Writes the values of the store back into the unit where they differ;
    // true when there was nothing to import or the unit, read again, holds
    // every value written. On failure the saved values stay (in the manual
    // store) and a box says so, naming the values the unit did not take.
    bool importStatistics(bool automatic);
    // Whether the store's saved values can be imported as they are (true
    // also when it holds none). A store that has lost its "Statistics" mark,
    // or holds a damaged sentence, is refused: a box says why and names the
    // sentences, and nothing is sent.
    bool checkSavedStatistics(bool automatic);
    // The manual store holds saved values: its mark, or sentences that lost
    // it (so that an import can say what is wrong with them).
    static bool manualStoreHoldsStatistics();
    // Asks for one series ("SS1" or "SS2") and waits, up to three times,
    // until the sentence pump has stored it whole.
    bool requestStatisticsToStore(const QString& name, QSettings& store);

    StatisticsView* statisticsView() const { return m_statisticsView; }
    MyEventsView* eventsView() const { return m_eventsView; }
    myTabWidget* tabWidget() const { return m_tabs; }
    QTimer* statisticsTimer() const { return m_statisticsTimer; }
    QTimer* eventsTimer() const { return m_eventsTimer; }
    QPushButton* clearStatisticsButton() const { return m_clearStatistics; }
    QPushButton* clearEventsButton() const { return m_clearEvents; }
    bool isLinkUp() const { return m_linkUp; }
    int hardwareKindCode() const { return hardwareKind; }
    bool isWordingApplied() const { return hardwareKindKnown; }

    // Read and cleared by the main window's sentence pump.
    uint8_t StatisticsExportFlags = 0;

public slots:
    void slotClearEventsLogPressed();
    void slotClearStatisticsPressed();
    void slotCopyToClipboardPressed();
    void slotReceivedVersionString(QString line);
    void slotCurrentPageChanged(int index);
    void slotStatisticsTimerTimeoutEvent();

private slots:
    void slotCurrentTabChanged(int index);
    void slotEventsTimerTimerTimeoutEvent();

private:
    QString deviceFirmwareVersion() const;
    bool supports(int featureId) const;
    void updateControls();
    void applyTimerRule(int page);
    // Removes what a request of the series captured; saved values being
    // imported stay, marked as saved again.
    void resetCapture(QSettings& store, const QString& name) const;
    // Requests the series asked for into the store; true when each arrived
    // whole.
    bool captureUnitStatistics(QSettings& store, bool automatic, bool ss1, bool ss2);

    myTabWidget* m_tabs = nullptr;
    QTimer* m_statisticsTimer = nullptr;
    QTimer* m_eventsTimer = nullptr;
    QList<Param*> m_params;
    StatisticsView* m_statisticsView = nullptr;
    MyEventsView* m_eventsView = nullptr;
    QPushButton* m_copyStatistics = nullptr;
    QPushButton* m_copyEvents = nullptr;
    QPushButton* m_clearStatistics = nullptr;
    QPushButton* m_clearEvents = nullptr;
    QList<QWidget*> m_linkWidgets;
    QList<QWidget*> m_accessWidgets;
    bool m_linkUp = false;
    bool m_accessEnabled = false;
    // While a store request waits, the page's own statistics polling pauses,
    // so the captured series is the requested one from its first index.
    bool m_storeRequestRunning = false;
    // The saved values of a running import, kept in its store.
    QSet<QString> m_savedKeys;
    Dialogs m_dialogs;
};
