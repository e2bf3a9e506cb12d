#include "BasePage.h"

#include "Communicator.h"
#include "CommunicatorSelector.h"
#include "FeatureSupportTable.h"
#include "MainWindowServices.h"
#include "Param.h"
#include "SentenceMaps.h"
#include "Y5ProtocolHandler.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHash>
#include <QMap>
#include <QLabel>
#include <QLineEdit>
#include <QMutexLocker>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStringList>

#include <algorithm>
#include <stdexcept>
#include <tuple>

BasePage::BasePage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent,
                   FeatureSupportTable* featureTable)
    : QWidget(parent), m_featureTable(featureTable), m_sentenceMap(sentenceMap)
{
    if (!communicator)
        throw std::invalid_argument("Communicator object is null");
    m_communicator = communicator;
    // Follow every change of transport; a change without one keeps ours.
    connect(
        CommunicatorSelector::instance(), &CommunicatorSelector::CommunicatorChanged, this,
        [this](CommunicatorSelector::Selection, AbstractCommunicator* next) {
            if (next)
                setCommunicator(next);
        },
        Qt::DirectConnection);
}

BasePage::~BasePage()
{
    qDeleteAll(m_featureGroups);
}

void BasePage::processSentence(const QString&) {}

void BasePage::connectionStatusChanged(bool) {}

void BasePage::applicationFocusChanged(QWidget*, QWidget*) {}

void BasePage::setCommunicator(Communicator* communicator)
{
    QMutexLocker lock(&m_communicatorMutex);
    m_communicator = communicator;
}

void BasePage::sendSentence(const QString& name, const QString& parameters, unsigned delayMs, int timeoutMs)
{
    Q_UNUSED(timeoutMs)
    if (!m_communicator || !g_mainWindow)
        return;
    Y5ProtocolHandler* handler = g_mainWindow->protocolHandler();
    if (!handler || handler->updateRunning)
        return;
    handler->sendSentence(name, parameters, delayMs);
}

void BasePage::sendRawSentence(const QString& text)
{
    if (Communicator* c = m_communicator)
        c->writeSentence(text);
}

QWidget* BasePage::registerFeatureGroup(QWidget* widget, bool keep)
{
    auto* group = new FeatureWidgetGroup;
    group->widget = widget;
    group->keep = keep;
    m_featureGroups.append(group);
    return widget;
}

QWidget* BasePage::registerFeatureWidget(QWidget* widget, int featureId, int mode)
{
    // A page registers its group first; without one the entry gets a group
    // of its own that never hides anything.
    if (m_featureGroups.isEmpty())
        registerFeatureGroup(nullptr, true);
    auto* entry = new FeatureWidgetEntry;
    entry->widget = widget;
    entry->featureId = featureId;
    entry->manual = mode == 1;
    m_featureGroups.last()->entries.append(entry);
    return widget;
}

bool BasePage::featureSupported(int featureId, const QString& version) const
{
    if (featureId < 0 || !m_featureTable)
        return false;
    return m_featureTable->isFeatureSupported(featureId, version);
}

void BasePage::updateFeatureVisibility(const QString& version)
{
    applyFeatureVisibility([this, &version](int featureId) { return featureSupported(featureId, version); });
}

void BasePage::updateFeatureVisibilityByVersion(const QString& version)
{
    applyFeatureVisibility([this, &version](int featureId) {
        return featureId >= 0 && m_featureTable && m_featureTable->isSupportedByVersion(featureId, version);
    });
}

void BasePage::applyFeatureVisibility(const std::function<bool(int)>& supported)
{
    for (FeatureWidgetGroup* group : qAsConst(m_featureGroups)) {
        bool anyShown = false;
        for (FeatureWidgetEntry* entry : qAsConst(group->entries)) {
            if (!entry->widget)
                continue;
            if (!supported(entry->featureId)) {
                entry->widget->hide();
            } else if (!entry->manual) {
                entry->widget->show();
                anyShown = true;
                if (group->widget && group->widget->parentWidget())
                    group->widget->show();
            }
        }
        if (!anyShown && !group->keep && group->widget)
            group->widget->hide();
    }
    keepNewestVariantPerCell();
    if (g_mainWindow)
        g_mainWindow->relayout(window());
}

namespace {

// The latest first version of a feature's rows; 0 for a feature the unit
// alone reports.
uint32_t newestStart(const FeatureSupportTable& table, int featureId)
{
    uint32_t newest = 0;
    for (const FeatureSupportRecord& row : table.rows().values(featureId))
        newest = std::max(newest, parseFirmwareVersion(row.firstVersion));
    return newest;
}

} // namespace

void BasePage::keepNewestVariantPerCell()
{
    if (!m_featureTable)
        return;
    QHash<QWidget*, int> featureOf;
    for (const FeatureWidgetGroup* group : qAsConst(m_featureGroups))
        for (const FeatureWidgetEntry* entry : group->entries)
            if (entry->widget && !entry->manual)
                featureOf.insert(entry->widget, entry->featureId);
    for (QGridLayout* grid : findChildren<QGridLayout*>()) {
        // The shown feature widgets of each cell, in the order they were placed.
        QMap<std::tuple<int, int, int, int>, QList<QWidget*>> cells;
        for (int i = 0; i < grid->count(); ++i) {
            QWidget* w = grid->itemAt(i)->widget();
            if (!w || w->isHidden() || !featureOf.contains(w))
                continue;
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(i, &row, &column, &rows, &columns);
            cells[std::make_tuple(row, column, rows, columns)] << w;
        }
        for (const QList<QWidget*>& cell : qAsConst(cells)) {
            if (cell.size() < 2)
                continue;
            QWidget* newest = cell.first();
            for (QWidget* w : cell)
                if (newestStart(*m_featureTable, featureOf.value(w))
                    > newestStart(*m_featureTable, featureOf.value(newest)))
                    newest = w;
            for (QWidget* w : cell)
                if (w != newest)
                    w->hide();
        }
    }
}

bool BasePage::isWidgetUnsupported(QWidget* widget) const
{
    QString version;
    if (g_mainWindow && g_mainWindow->protocolHandler()) {
        const QStringList fields = g_mainWindow->protocolHandler()->versionLine().split(QLatin1Char(','));
        if (fields.size() >= 4)
            version = fields.at(3);
    }
    for (const FeatureWidgetGroup* group : m_featureGroups) {
        if (group->widget && group->widget == widget) {
            for (const FeatureWidgetEntry* entry : group->entries)
                if (featureSupported(entry->featureId, version))
                    return false;
            return true;
        }
        for (const FeatureWidgetEntry* entry : group->entries)
            if (entry->widget == widget)
                return !featureSupported(entry->featureId, version);
    }
    return true;
}

QWidget* BasePage::createPlainParamWidget(int widgetKind)
{
    switch (widgetKind) {
    case ParamWidgetKind::Label:
        return new QLabel;
    case ParamWidgetKind::LineEdit:
        return new QLineEdit;
    case ParamWidgetKind::SpinBox:
        return new QSpinBox;
    case ParamWidgetKind::ComboBox:
        return new QComboBox;
    case ParamWidgetKind::TextEdit:
        return new QPlainTextEdit;
    default:
        return nullptr;
    }
}

Param* BasePage::createDisplayParam(const QString& caption, const QString& sentence, int field, int valueType,
                                    int offset, double scale, int decimals, int widgetKind, QWidget* w,
                                    CSntcMap* map)
{
    auto* p = new Param;
    p->caption = caption;
    p->sentenceName = sentence;
    p->fieldIndex = field;
    p->valueType = valueType;
    p->offset = offset;
    p->scale = scale;
    p->decimals = decimals;
    p->widgetKind = widgetKind;
    p->widget = w;
    p->editState = 0;
    if (w)
        w->setEnabled(false);
    if (map)
        map->addHandler(sentence, field, p);
    return p;
}
