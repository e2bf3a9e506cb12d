#pragma once

#include <QHash>
#include <QObject>

class QWidget;

// The display unit's parameters and the widgets that show them. Kinds:
// 1 line edit (decimal text), 2 label (shown and read by other means),
// 3 myRadioBox (index), 4 slider (value). Ids 0 to 7 are usable.
class config : public QObject
{
    Q_OBJECT
public:
    enum Kind { LineEdit = 1, Label = 2, RadioBox = 3, Slider = 4 };

    // -1 when the id is already registered.
    int registerParam(int id, int kind, QWidget* widget);
    // Shows a received value (size bytes, least significant first). Showing
    // a value never counts as the user's edit: the widget stays silent.
    // -1 for an unknown id, an unusable size or a kind that shows nothing.
    int setParamValue(int id, int size, const void* value);
    // The widget's value; -1 for an unknown id or kind. A label gives 0 and
    // leaves the value as it was.
    int paramValue(int id, int* value) const;

private:
    struct Entry
    {
        int id;
        int kind;
        QWidget* widget;
    };
    QHash<int, Entry> entries;
};
