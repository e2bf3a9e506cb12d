#pragma once

// A stand-in for the configuration page: makes real editors for the
// declarations, keeps texts per id, records writes, sentences and feature
// registrations. Writing only records the text; the conversion to raw values
// is the configuration page's.
#include "CellModelParamHost.h"
#include "ConfigParam.h"

#include <QCheckBox>
#include <QHash>
#include <QLineEdit>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

struct Declaration
{
    QString name;
    int kind = 0;
    int id = 0;
    int valueType = 0;
    double minimum = 0;
    double maximum = 0;
    double scale = 0;
    int featureId = 0;
    bool isFloat = false;
    ConfigParam* param = nullptr;
    QWidget* widget = nullptr;
};

class FakeParamHost : public CellModelParamHost
{
public:
    QList<Declaration> declarations;
    QHash<int, QString> texts;
    QList<QPair<int, QString>> writes;
    QStringList sentences; // name + parameters, and the delay
    QList<QPair<QWidget*, int>> features;
    std::function<void(int, const QString&)> onWrite;
    std::vector<std::unique_ptr<ConfigParam>> params;
    QList<QPointer<QWidget>> widgets;

    ~FakeParamHost() override
    {
        // Placed editors went with the page; the unplaced ones are ours.
        for (const QPointer<QWidget>& w : widgets)
            if (w && !w->parent())
                delete w.data();
    }

    QWidget* createParamWidget(const QString& name, int kind, int id, int valueType, double minimum, double maximum,
                               int, double scale, ConfigParam** out, int featureId, bool isFloat, uint32_t,
                               uint32_t) override
    {
        QWidget* w = kind == 7 ? static_cast<QWidget*>(new QCheckBox) : new QLineEdit;
        w->setEnabled(false);
        widgets.append(w);
        params.emplace_back(new ConfigParam);
        if (out)
            *out = params.back().get();
        declarations.append({name, kind, id, valueType, minimum, maximum, scale, featureId, isFloat,
                             params.back().get(), w});
        return w;
    }
    QWidget* createParamWidgetByDecimals(const QString& name, int kind, int id, int valueType, double minimum,
                                         double maximum, int decimals, ConfigParam** out, int featureId, bool isFloat,
                                         uint32_t lo, uint32_t hi) override
    {
        double scale = 1;
        for (int i = 0; i < decimals; ++i)
            scale /= 10;
        return createParamWidget(name, kind, id, valueType, minimum, maximum, 0, scale, out, featureId, isFloat, lo,
                                 hi);
    }
    QString paramText(int id) const override { return texts.value(id); }
    bool submitParamText(int id, const QString& text) override
    {
        if (onWrite)
            onWrite(id, text);
        writes.append({id, text});
        texts[id] = text;
        return true;
    }
    void sendSentence(const QString& name, const QString& parameters, unsigned delayMs, int) override
    {
        sentences << name + parameters + QStringLiteral(" @%1").arg(delayMs);
    }
    QWidget* registerFeatureWidget(QWidget* widget, int featureId, int) override
    {
        features.append({widget, featureId});
        return widget;
    }

    const Declaration* declaration(const QString& name) const
    {
        for (const Declaration& d : declarations)
            if (d.name == name)
                return &d;
        return nullptr;
    }
};
