#pragma once

#include "Param.h"

#include <QList>

#include <cmath>
#include <cstdint>

class ConfigParam;

// The one value record per configuration parameter id, shared by every
// editor widget of that id. The configuration page creates it on the first
// editor of an id and writes it in the GUI thread; the loader only reads the
// id, which never changes after creation.
struct ConfigParamSlot
{
    int id = 0;
    bool valid = false;     // a value was received
    bool isFloat = false;   // value holds the bits of an IEEE-754 single
    uint32_t value = 0;     // raw value the unit last reported
    // A word written but not yet echoed by the unit. Further edits of the
    // same word merge into it; the unit's reply replaces it.
    bool pending = false;
    uint32_t pendingValue = 0;
    QList<ConfigParam*> params; // the editors of this id; not owned

    // The word as the editors see it: the written one while its echo is due.
    uint32_t currentValue() const { return pending ? pendingValue : value; }
};

// One editor widget of a configuration parameter: a Param with the limits,
// bit mask, firmware feature and shared value record that the configuration
// page needs to show, check and write it. Its values come from the page's own
// "CF2" reply handling, not from the sentence maps.
class ConfigParam : public Param
{
public:
    ConfigParam() = default;
    ~ConfigParam() override;

    ConfigParamSlot* slot = nullptr; // not owned
    uint32_t bitMask = 0xFFFFFFFFu;  // the bits of the shared value this editor edits
    double minimum = 0.0;            // displayed units: smallest value committed
    double maximum = 0.0;            // displayed units: largest value committed
    uint32_t rawMinimum = 0;         // smallest raw value shown
    uint32_t rawMaximum = 0xFFFFFFFFu; // largest raw value shown
    int featureId = -1;              // firmware feature the parameter needs; -1 none given
    QString name;                    // as declared, for diagnostics
    int ruleTag = 0xFFFF;            // small numbers let the consistency rules recognise an editor
    // The rest of the editor's description lives in Param: widgetKind,
    // valueType, decimals, offset, scale, and editState (the edit state).

    // The parameter id lives in the record; -1 while there is none.
    int paramId() const { return slot ? slot->id : -1; }

    // The record's value after a commit of this editor's raw value: the bits
    // outside the mask stay, the bits inside come from raw as they are (the
    // editor's scale already places them).
    uint32_t mergedValue(uint32_t recordValue, uint32_t editorRaw) const
    {
        return (recordValue & ~bitMask) | (editorRaw & bitMask);
    }

    // A received raw value as the editor shows it: held inside the raw limits.
    uint32_t shownRaw(uint32_t raw) const
    {
        if (raw < rawMinimum)
            return rawMinimum;
        if (raw > rawMaximum)
            return rawMaximum;
        return raw;
    }

    // An edited value as it is committed: held inside minimum and maximum
    // (a value that is not a number commits as the minimum).
    double committedValue(double edited) const
    {
        if (std::isnan(edited) || edited < minimum)
            return minimum;
        if (edited > maximum)
            return maximum;
        return edited;
    }
};
