// Numbered widget groups, the LTO cell voltage ranges and the pin function
// question.
#include "ConfigPage.h"

#include "ConfigParam.h"
#include "ParamConversion.h"
#include "RangeRegExp.h"
#include "Y5ProtocolHandler.h"

#include <QLineEdit>
#include <QRegExpValidator>

using namespace ParamConversion;

void ConfigPage::addToWidgetGroup(QWidget* widget, int group)
{
    QList<QWidget*>& members = m_widgetGroups[group];
    if (widget && !members.contains(widget))
        members.append(widget);
}

void ConfigPage::setWidgetGroupVisible(int group, bool visible)
{
    const QList<QWidget*> members = m_widgetGroups.value(group);
    for (QWidget* w : members)
        w->setVisible(visible && !isWidgetUnsupported(w));
}

void ConfigPage::showWidgetGroupCount(int group, int count)
{
    const QList<QWidget*> members = m_widgetGroups.value(group);
    for (int i = 0; i < members.size(); ++i)
        members.at(i)->setVisible(i < count);
}

void ConfigPage::updateLtoSupport()
{
    const bool lto = paramValue(0x1608) & (1u << 11);
    if (lto == m_ltoSupport)
        return;
    m_ltoSupport = lto;
    Y5ProtocolHandler* handler = protocolHandler();
    applyCellVoltageRanges(QString(), handler && handler->isConnected());
    if (handler)
        handler->sendVersionRequest();
}

// Cell voltage editors show raw x 0.01 + 2.00 V (2.00 to 4.55), or for LTO
// cells raw x 0.01 + 1.00 V (1.00 to 3.55). The unit's raw values stay.
void ConfigPage::applyCellVoltageRanges(const QString& versionText, bool versionKnown)
{
    const bool lto = versionText.contains(QLatin1String("SCiB")) || m_ltoSupport;
    for (ConfigParam* p : qAsConst(m_params)) {
        const bool standard = p->minimum == 2.0 && p->maximum == 4.55 && p->offset == 200;
        const bool ltoRange = p->minimum == 1.0 && p->maximum == 3.55 && p->offset == 100;
        if (lto && standard) {
            p->minimum -= 1;
            p->maximum -= 1;
            p->offset -= 100;
        } else if (!lto && ltoRange) {
            p->minimum += 1;
            p->maximum += 1;
            p->offset += 100;
        } else {
            continue;
        }
        if (auto* edit = qobject_cast<QLineEdit*>(p->widget)) {
            QRegExp exp;
            buildRangeRegExp(&exp, p->minimum, p->maximum, p->decimals);
            const QValidator* old = edit->validator();
            if (old && old->parent() == edit)
                const_cast<QValidator*>(old)->deleteLater();
            edit->setValidator(new QRegExpValidator(exp, edit));
        }
        refreshParamWidget(p, versionKnown);
    }
}

bool ConfigPage::isPinFunctionAssigned(int function) const
{
    for (const ConfigParam* p : m_params) {
        const int id = p->paramId();
        if (id >= 0x0800 && id <= 0x080F && p->widgetKind == ComboBox && int(p->slot->value & 0x7F) == function)
            return true;
    }
    return false;
}
