#pragma once

#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// How a parameter reads its field. The codes are shared with every page that
// binds values, and with the configuration file, so they never change.
namespace ParamValueType {
enum Code : int {
    Text = 0,           // any text, shown as it is
    Hex = 1,            // unsigned hexadecimal: number, value name or flag names
    HexFlags = 2,       // as Hex
    Decimal = 3,        // unsigned decimal, shown as Hex is
    DecimalFlags = 4,   // as Decimal
    Bit = 5,            // one bit (offset) of a hexadecimal word
    SignedScaled = 6,   // signed hex, two's complement over the field's own digits; (raw + offset) x scale
    UnsignedScaled = 7, // unsigned hex; (raw + offset) x scale
    Editor8 = 8,        // configuration editor type; nothing to show here
    Cells = 9,          // cell array, two hex digits a cell, into a cell graph
    Editor10 = 10,      // configuration editor type; nothing to show here
    Duration = 11,      // hex seconds as hhh:mm:ss
    Blank = 12,         // always an empty text
    DateTime = 13,      // six comma-separated parts
    TwoChars = 14,      // two characters packed in 16 bits (configuration editors)
    CanId11 = 15,       // CAN identifier of 11 or 13 bits (configuration editors)
    CanId29 = 16,       // CAN identifier of 29 bits (configuration editors)
    Float = 17,         // eight hex digits of an IEEE-754 single
    Double = 18,        // sixteen hex digits of an IEEE-754 double
};
}

// The widgets a parameter writes into. The configuration page's own editors
// use the other codes (2, 3, 4, 7, 13) and show their values themselves.
namespace ParamWidgetKind {
enum Code : int {
    Label = 0,             // QLabel
    LineEdit = 1,          // QLineEdit
    SpinBox = 5,           // QSpinBox
    ComboBox = 6,          // QComboBox, the value is the item index
    CellsGraph = 8,        // a QWidget that is a CellGraphSink
    GroupedCellsGraph = 9, // a QWidget that is a GroupedCellGraphSink
    TextEdit = 10,         // QPlainTextEdit, appended to
    EventsView = 11,       // a QWidget that is an EventsViewSink
    StatisticsView = 12,   // a QWidget that is a StatisticsViewSink
};
}

// Replaces the first "[DU]" of a unit; the configuration page sets it.
extern QString g_distanceUnit;

// Whether some I/O pin of the control unit is set to the given pin function.
// The application connects it to the configuration page; while it is unset
// every function counts as assigned, so nothing is shown as "not wired".
void setPinFunctionQuery(std::function<bool(int pinFunction)> query);
bool isPinFunctionAssigned(int pinFunction);

class ParamValueConverter;

// One value the control unit reports, bound to the widget that shows it.
// The page that creates a Param owns it; the sentence maps keep pointers.
class Param
{
public:
    Param() = default;
    virtual ~Param();
    Param(const Param&) = delete;
    Param& operator=(const Param&) = delete;

    // Turns one received field (or, for fieldIndex -1, the rest of the
    // sentence) into what the widget shows. fields is [name, field 0, ...].
    // A field that does not convert is shown blank, never reported.
    virtual void updateValue(const QString& sentenceName, int fieldIndex, const QString& fieldText,
                             const QStringList& fields);

    // Replaces an existing name of the same value.
    void addValueName(int value, const QString& name);

    QString caption;
    QString sentenceName;
    int fieldIndex = 0xFFFF; // informative: the registration decides what arrives
    QHash<int, QString> valueNames;
    // Flag word bit number -> flag name; kept ordered so the flag text lists
    // the set flags in ascending bit order.
    QMap<int, QString> bitNames;
    QString noFlagText;
    int valueType = ParamValueType::Text;
    int offset = 0; // for Bit: the bit shown
    double scale = 0.0;
    ParamValueConverter* valueConverter = nullptr; // configuration parameters only; not owned
    int decimals = 0;
    QString unit; // may hold "[DU]"
    QWidget* widget = nullptr; // not owned
    int widgetKind = ParamWidgetKind::Label;
    double currentValue = 0.0; // last scaled value of the scaled types
    int editState = 0;

private:
    void updateNumber(const QString& name, int fieldIndex, const QString& fieldText, const QStringList& fields,
                      const QString& unitText);
    void updateBit(const QString& name, const QString& fieldText, const QString& unitText);
    void updateScaled(const QString& fieldText, const QString& unitText);
    void updateCells(const QString& name, const QString& fieldText, const QStringList& fields);
    void setText(const QString& text);
    void setIndex(int value);
    QString flagText(quint32 v) const;
};
