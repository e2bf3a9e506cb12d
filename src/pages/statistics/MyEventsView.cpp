#include "MyEventsView.h"

#include "StatisticsText.h"

#include <QStandardItem>
#include <QStandardItemModel>

MyEventsView::MyEventsView(QWidget* parent) : QTreeView(parent)
{
    const char* const texts[kEventCodeCount] = {
        "",
        QT_TR_NOOP("BMS Started"),
        QT_TR_NOOP("Lost communication to cells"),
        QT_TR_NOOP("Established communication to cells"),
        QT_TR_NOOP("Cells voltage critically low"),
        QT_TR_NOOP("Critically low cell voltage recovered"),
        QT_TR_NOOP("Cells voltage critically high"),
        QT_TR_NOOP("Critical high voltage recovered"),
        QT_TR_NOOP("Discharge current critically high"),
        QT_TR_NOOP("Discharge critical high current recovered"),
        QT_TR_NOOP("Charge current critically high"),
        QT_TR_NOOP("Charge critical high current recovered"),
        QT_TR_NOOP("Cells temperature critically high"),
        QT_TR_NOOP("Critical high temperature recovered"),
        QT_TR_NOOP("Leakage detected"),
        QT_TR_NOOP("Leakage recovered"),
        QT_TR_NOOP("Warning: Low voltage - reducing power"),
        QT_TR_NOOP("Power reduction due to low voltage recovered"),
        QT_TR_NOOP("Warning: High current - reducing power"),
        QT_TR_NOOP("Power reduction due to high current recovered"),
        QT_TR_NOOP("Warning: High temperature - reducing power"),
        QT_TR_NOOP("Power reduction due to high temperature recovered"),
        QT_TR_NOOP("Charger connected"),
        QT_TR_NOOP("Charger disconnected"),
        QT_TR_NOOP("Started pre-heating stage"),
        QT_TR_NOOP("Started pre-charging stage"),
        QT_TR_NOOP("Started main charging stage"),
        QT_TR_NOOP("Started balancing stage"),
        QT_TR_NOOP("Charging finished"),
        QT_TR_NOOP("Charging error occurred"),
        QT_TR_NOOP("Retrying charging"),
        QT_TR_NOOP("Restarting charging"),
        QT_TR_NOOP("Master/Slave configuration mismatch detected"),
        QT_TR_NOOP("Master/Slave configuration mismatch recovered"),
        QT_TR_NOOP("Master/Slave configuration error"),
        QT_TR_NOOP("Master/Slave configuration error recovered"),
        QT_TR_NOOP("Master/Slave common CAN bus malfunction detected"),
        QT_TR_NOOP("Master/Slave common CAN bus malfunction recovered"),
        QT_TR_NOOP("Master/Slave common CAN bus failure detected"),
        QT_TR_NOOP("Master/Slave common CAN bus failure recovered"),
        QT_TR_NOOP("Master/Slave internal CAN bus failure detected"),
        QT_TR_NOOP("Master/Slave internal CAN bus failure recovered"),
        QT_TR_NOOP("Cell temperature critically high"),
        QT_TR_NOOP("Critically high cell temperature recovered"),
        QT_TR_NOOP("Warning: High cell temperature - reducing power"),
        QT_TR_NOOP("Power reduction due to high cell temperature recovered"),
        QT_TR_NOOP("No current sensor detected"),
        QT_TR_NOOP("Detected current sensor"),
        QT_TR_NOOP("Pack voltage critically low"),
        QT_TR_NOOP("Critically low pack voltage recovered"),
        QT_TR_NOOP("CAN Communication watchdog timed out"),
        QT_TR_NOOP("Pack voltage critically high"),
        QT_TR_NOOP("Critically high pack voltage recovered"),
        QT_TR_NOOP("Cell temperature critically low"),
        QT_TR_NOOP("Critically low cell temperature recovered"),
        QT_TR_NOOP("Difference between max and min cell voltages critically high"),
        QT_TR_NOOP("Critically high difference between max and min cell voltages recovered"),
        QT_TR_NOOP("Difference between max and min total voltages critically high"),
        QT_TR_NOOP("Critically high difference between max and min total voltages recovered"),
        QT_TR_NOOP("Cell Module temperature critically low"),
        QT_TR_NOOP("Critically low cell module temperature recovered"),
        QT_TR_NOOP("External temperature sensor loss detected"),
        QT_TR_NOOP("External temperature sensor loss recovered"),
        QT_TR_NOOP("Cell Wire Break detected"),
        QT_TR_NOOP("Cell Wire Break recovered"),
    };
    m_codes.resize(kEventCodeCount);
    for (int i = 0; i < kEventCodeCount; ++i)
        m_codes[i].text = i == 0 ? QString() : tr(texts[i]);
    m_codes[22].infoKind = 2;
    m_codes[23].infoKind = 1;

    m_model = new QStandardItemModel(0, 3, this);
    m_model->setHorizontalHeaderLabels({tr("Date / Time"), tr("Event"), tr("Additional info")});
    setModel(m_model);
    setRootIsDecorated(false);
    setAlternatingRowColors(true);
    setColumnWidth(0, 120);
    setColumnWidth(1, 350);
    setColumnWidth(2, 120);
}

void MyEventsView::updateEvents(const QString& reply)
{
    const QStringList parts = reply.split(QLatin1Char(','));
    if (parts.size() != 4) {
        if (reply.isEmpty())
            clearEvents();
        return;
    }
    bool okIndex = false, okCode = false, okTime = false;
    const int index = parts[0].toInt(&okIndex, 16);
    const int code = parts[1].toInt(&okCode, 16);
    const uint time = parts[3].toUInt(&okTime, 16);
    if (!okIndex || !okCode || !okTime || index < 0 || index > kMaxLogIndex || code < 0
        || code >= kEventCodeCount)
        return;
    const QString info = eventInfoText(code, parts[2]);
    // The unit counts from 2000-01-01; the sum wraps in 32 bits as on the unit.
    const quint32 unixTime = quint32(time) + kDeviceEpochOffset;
    const QDateTime when = QDateTime::fromSecsSinceEpoch(qint64(unixTime), Qt::UTC);
    addEventRow(m_model, index, when, m_codes[code].text, info);
}

QString MyEventsView::eventInfoText(int code, const QString& parameter) const
{
    if (parameter.isEmpty() || isAllF(parameter))
        return QString();
    bool ok = false;
    const uint value = parameter.toUInt(&ok, 16);
    if (!ok || code < 0 || code >= kEventCodeCount)
        return QString();
    const int kind = m_codes[code].infoKind;
    if (kind != 1 && kind != 2)
        return QString();
    QString text = QStringLiteral("Last charge energy ");
    if (kind == 2)
        text.insert(5, QLatin1String("dis"));
    if (value & 0x800000u)
        return text + QString::number(value & 0x7FFFFFu) + QLatin1String(" kWh");
    return text + QString::number(value) + QLatin1String(" Wh");
}

void MyEventsView::addEventRow(QStandardItemModel* model, int index, const QDateTime& dateTime,
                               const QString& eventText, const QString& info)
{
    if (!model || index < 0)
        return;
    // Missing lower entries stay as empty rows, added in one step.
    if (model->rowCount() <= index)
        model->insertRows(model->rowCount(), index + 1 - model->rowCount());

    // The copy keeps every row the view shows: a rewritten entry never drops
    // the texts of the rows after it.
    while (m_rowTexts.size() < index + 1)
        m_rowTexts.append(QString());
    m_rowTexts[index] = dateTime.toString(Qt::TextDate) + QLatin1String(": ") + eventText + QLatin1Char('\t') + info
        + QLatin1Char('\n');

    auto* when = new QStandardItem;
    when->setData(dateTime, Qt::DisplayRole);
    auto* what = new QStandardItem(eventText);
    auto* extra = new QStandardItem(info);
    for (QStandardItem* item : {when, what, extra})
        item->setFlags(Qt::ItemIsEnabled);
    model->setItem(index, 0, when);
    model->setItem(index, 1, what);
    model->setItem(index, 2, extra);
}

void MyEventsView::clearEvents()
{
    m_rowTexts.clear();
    m_model->removeRows(0, m_model->rowCount());
}

void MyEventsView::setEventText(int code, const QString& text)
{
    if (code >= 0 && code < kEventCodeCount)
        m_codes[code].text = text;
}

QString MyEventsView::eventText(int code) const
{
    return code >= 0 && code < kEventCodeCount ? m_codes[code].text : QString();
}

QString MyEventsView::allText() const
{
    return m_rowTexts.join(QString());
}
