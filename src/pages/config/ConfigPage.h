#pragma once

#include "BasePage.h"
#include "ParamReplyWait.h"

#include <QHash>
#include <QList>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <memory>

class ConfigParam;
class ConfigParamLoader;
class QProgressDialog;
class QThread;
class UserQuestionAsker;
class Y5ProtocolHandler;
class myTabWidget;
struct ConfigParamSlot;

// The Configuration page (page 2). For now the hooks, slots and signals the
// main window wires, the flags the link reads, and the reading of all
// parameters through the loader with its progress dialog.
class ConfigPage : public BasePage
{
    Q_OBJECT
public:
    ConfigPage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent, FeatureSupportTable* featureTable);
    ~ConfigPage() override;

    // The page's share of every received sentence.
    void processSentence(const QString& sentence) override { receiveSentence(sentence); }
    void connectionStatusChanged(bool linked) override { setConnected(linked); }
    void applicationFocusChanged(QWidget* old, QWidget* now) override { commitEditedParams(old, now); }

    void receiveSentence(const QString& sentence);
    void setConnected(bool linked);
    void commitEditedParams(QWidget* old, QWidget* now);

    bool isPinFunctionAssigned(int function) const;
    bool isLtoSupportEnabled() const { return m_ltoSupport; }

    // --- parameters
    // A parameter of id paramId that needs firmware feature featureId, linked
    // to the one value record of its id (created, without value, on first
    // use). Nothing for a negative id. The page owns both.
    ConfigParam* addConfigParam(int paramId, int featureId);
    ConfigParamSlot* paramSlot(int paramId) const { return m_slots.value(paramId); }
    const QList<ConfigParam*>& configParams() const { return m_params; }

    // --- reading all parameters
    // Where the loader's failure question goes (the window's asker). Without
    // one a parameter that never answers ends the reading.
    void setQuestionAsker(UserQuestionAsker* asker) { m_asker = asker; }
    // The handler the queries go through; by default the main window's.
    void setProtocolHandler(Y5ProtocolHandler* handler) { m_handler = handler; }
    // Starts the loader thread on one parameter per supported id. False when
    // a reading runs already or there is no protocol handler.
    bool startParamLoader();
    // Waits for the reply to paramId ("CF2,IIII," + the expected text;
    // empty: any value), from any thread (the loader's, or the GUI thread
    // while committing). False after the reply time-out or once stop is set.
    bool waitParamReply(int paramId, const QString& expectedValue, const std::atomic<bool>& stop);
    // GUI thread: a received "CF2" reply; stores the value, ends a wait for it.
    void parseParamReply(const QString& line);
    QProgressDialog* progressDialog() const { return m_progress; }

    // The page's tabs; null until the page builds them.
    myTabWidget* tabWidget = nullptr;

    // Set while a full parameter read runs; the Status page's cells timer reads it.
    std::atomic<bool> parametersLoading{false};
    // The running loader and its thread; null while no full read runs.
    QPointer<ConfigParamLoader> paramLoader;
    QThread* loaderThread = nullptr;

signals:
    // Only for ids 0x1800, 0x0111, 0x0010, 0x1E00 and 0x1600.
    void sigConfigParamUpdate(int id, uint32_t value);
    void sigDistanceUnitChanged();

public slots:
    void slotCurrentPageChanged(int index);
    void slotCanDeviceOperationStatus(int status, int operation);
    void slotToshibaSCiBOperationStatus(int status, int operation);
    void slotCanSplitterConfigFinish(int result);
    void slotCanDeviceSortingRequest(uint8_t request);
    void slotCGMGen2StatusUpdate(uint32_t a, uint32_t b, uint32_t c, uint32_t d);
    void slotReceivedVersionString(QString line);
    void slotLoadConfigurationFromHardDrive();
    void slotLoginPressed();
    void slotAuthenticationFailed();

    // The loading progress dialog. They never call back into the loader.
    void slotHideProgressBar();
    void slotShowProgressBar();
    void slotCloseProgressBar();
    void slotSetProgressBar(int percent);
    void slotDeleteProgressBarObjects();

private:
    static constexpr int kParamCellStrings = 0x0013; // parallel cell strings
    static constexpr int kParamCellCount = 0x0100;   // cells in the pack

    Y5ProtocolHandler* protocolHandler() const;
    void createProgressDialog();
    void layoutCellStrings(uint32_t value, int id);

    uint32_t m_cellStrings = 0;
    uint32_t m_cellCount = 0;

    bool m_ltoSupport = false;
    QList<ConfigParam*> m_params;
    QHash<int, ConfigParamSlot*> m_slots;
    // Shared with the loader's hooks: a loader that outlives the page (a
    // send that hung through a shutdown) still finds it.
    std::shared_ptr<ParamReplyWait> m_replyWait = std::make_shared<ParamReplyWait>();
    UserQuestionAsker* m_asker = nullptr;
    Y5ProtocolHandler* m_handler = nullptr;
    QProgressDialog* m_progress = nullptr;
    // The user pressed "Hide": the dialog stays hidden for the rest of the load.
    bool m_progressHiddenByUser = false;
};
