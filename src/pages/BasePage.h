#pragma once

#include <QList>
#include <QMutex>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>

class Communicator;
class CSntcMap;
class FeatureSupportTable;
class Param;

// One widget whose visibility follows a firmware feature.
struct FeatureWidgetEntry
{
    QWidget* widget = nullptr; // not owned
    int featureId = -1;        // -1: no feature, counts as unsupported
    bool manual = false;       // hidden when unsupported, never shown by the registry
};

// A panel or group box and the feature widgets inside it.
struct FeatureWidgetGroup
{
    ~FeatureWidgetGroup() { qDeleteAll(entries); }
    QWidget* widget = nullptr; // not owned
    QList<FeatureWidgetEntry*> entries;
    bool keep = false;         // stays shown even when no entry is
};

// Common base of the device pages: the shared services (root sentence map,
// feature table, current transport), the hooks through which the main window
// drives a page, and the registry that shows or hides widgets by what the
// connected firmware supports. GUI thread, except sendSentence (the status
// poller calls it from its own thread).
class BasePage : public QWidget
{
    Q_OBJECT
public:
    // A null transport is a programming error: std::invalid_argument.
    BasePage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent, FeatureSupportTable* featureTable);
    ~BasePage() override;

    // One received sentence, without its check suffix.
    virtual void processSentence(const QString& sentence);
    virtual void connectionStatusChanged(bool connected);
    virtual void applicationFocusChanged(QWidget* old, QWidget* now);

    // Sends through the main window's protocol handler; dropped while the page
    // has no transport or the unit's firmware is being written. The time-out
    // is kept for callers and not used.
    void sendSentence(const QString& name, const QString& parameters, unsigned delayMs = 0, int timeoutMs = 0);
    // The text as it is, without framing, check sum or log.
    void sendRawSentence(const QString& text);

    // Registers a group; entries registered next belong to it.
    QWidget* registerFeatureGroup(QWidget* widget, bool keep);
    // mode 1: manual entry; anything else: automatic.
    QWidget* registerFeatureWidget(QWidget* widget, int featureId, int mode);
    // Shows and hides the registered widgets by the firmware's features.
    // Variants of one row for successive firmware ranges share grid cells:
    // where a unit reports more than one, the newest shows.
    void updateFeatureVisibility(const QString& version);
    // The same by the version rows alone, as it was before a unit reported
    // its feature bitmap: for a page built after the window told the others.
    void updateFeatureVisibilityByVersion(const QString& version);
    // Only answers; never changes a widget.
    bool isWidgetUnsupported(QWidget* widget) const;

    // The transport follows every change of transport.
    void setCommunicator(Communicator* communicator);
    Communicator* communicator() const { return m_communicator; }
    CSntcMap* sentenceMap() const { return m_sentenceMap; }
    FeatureSupportTable* featureSupportTable() const { return m_featureTable; }
    bool isConnected() const { return connected; }

protected:
    bool featureSupported(int featureId, const QString& version) const;
    void applyFeatureVisibility(const std::function<bool(int featureId)>& supported);
    void keepNewestVariantPerCell();

    // The display widget of the plain kinds (label, line edit, spin box,
    // combo box, text edit); null for the others, which a page makes itself.
    static QWidget* createPlainParamWidget(int widgetKind);
    // A display Param shown by w (disabled until a value arrives), registered
    // for the sentence field when there is a map. The caller owns it.
    static Param* createDisplayParam(const QString& caption, const QString& sentence, int field, int valueType,
                                     int offset, double scale, int decimals, int widgetKind, QWidget* w,
                                     CSntcMap* map);

    FeatureSupportTable* m_featureTable;
    QMutex m_communicatorMutex;
    bool connected = false;
    int32_t moduleVersionRequests = 0;
    std::atomic<Communicator*> m_communicator{nullptr};
    CSntcMap* m_sentenceMap;
    uint8_t hardwareKind = 0;
    bool hardwareKindKnown = false;
    QList<FeatureWidgetGroup*> m_featureGroups;
};
