#include "Param.h"

#include "CellGraphSinks.h"
#include "CellStringLayout.h"
#include "FieldText.h"
#include "ViewSinks.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextCursor>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {
Q_LOGGING_CATEGORY(lcParams, "bms.params")
}

QString g_distanceUnit;

namespace {

std::function<bool(int)>& pinFunctionQuery()
{
    static std::function<bool(int)> query;
    return query;
}

int bitNumber(int n) { return ((n % 32) + 32) % 32; }

// Nearest integer, halves away from zero, held inside int.
int roundToInt(double v)
{
    if (std::isnan(v))
        return 0;
    const double r = std::round(v);
    if (r >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (r <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(r);
}

bool isLabelOrEdit(int kind) { return kind == ParamWidgetKind::Label || kind == ParamWidgetKind::LineEdit; }

// A float or double sent as the hex of its bits; "?" when the field is not hex.
template <typename Real, typename Bits>
QString realText(const QString& fieldText, bool (*readHex)(const QString&, Bits*), int decimals, const QString& unit)
{
    static_assert(sizeof(Real) == sizeof(Bits), "the bits make up the number");
    Bits bits = 0;
    if (!readHex(fieldText, &bits))
        return QStringLiteral("?");
    Real r;
    std::memcpy(&r, &bits, sizeof r);
    return QString::number(double(r), 'g', decimals) + unit;
}

} // namespace

void setPinFunctionQuery(std::function<bool(int)> query) { pinFunctionQuery() = std::move(query); }

bool isPinFunctionAssigned(int pinFunction)
{
    const auto& query = pinFunctionQuery();
    return query ? query(pinFunction) : true;
}

Param::~Param() = default;

void Param::addValueName(int value, const QString& name) { valueNames.insert(value, name); }

void Param::setText(const QString& text)
{
    if (widgetKind == ParamWidgetKind::Label) {
        if (auto* label = qobject_cast<QLabel*>(widget))
            label->setText(text);
    } else if (widgetKind == ParamWidgetKind::LineEdit) {
        // setText resets the cursor and the undo history even for the same text.
        if (auto* edit = qobject_cast<QLineEdit*>(widget); edit && edit->text() != text)
            edit->setText(text);
    }
}

// Spin boxes take the value, combo boxes the item index; -1 when invalid.
void Param::setIndex(int value)
{
    if (widgetKind == ParamWidgetKind::SpinBox) {
        if (auto* spin = qobject_cast<QSpinBox*>(widget))
            spin->setValue(value);
    } else if (widgetKind == ParamWidgetKind::ComboBox) {
        if (auto* combo = qobject_cast<QComboBox*>(widget))
            combo->setCurrentIndex(value);
    }
}

QString Param::flagText(quint32 v) const
{
    QString text;
    for (auto it = bitNames.cbegin(); it != bitNames.cend(); ++it) {
        if (!((v >> bitNumber(it.key())) & 1u))
            continue;
        if (!text.isEmpty())
            text += QLatin1String(",\n");
        text += it.value();
    }
    return text.isEmpty() ? noFlagText : text;
}

void Param::updateValue(const QString& name, int fieldIndex, const QString& fieldText, const QStringList& fields)
{
    if (name.contains(QLatin1String("BV4")) || name.contains(QLatin1String("BV3")))
        qCDebug(lcParams) << fields;

    if (!widget) {
        std::fputs("NullWidget\n", stdout);
        return;
    }

    QString unitText = unit;
    const int du = unitText.indexOf(QLatin1String("[DU]"));
    if (du >= 0)
        unitText.replace(du, 4, g_distanceUnit);

    if (!widget->isEnabled())
        widget->setEnabled(true);

    switch (valueType) {
    case ParamValueType::Text:
        switch (widgetKind) {
        case ParamWidgetKind::Label:
        case ParamWidgetKind::LineEdit:
            setText(fieldText + unitText);
            break;
        case ParamWidgetKind::TextEdit:
            if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
                if (edit->property("blocked").toBool())
                    break;
                edit->textCursor().insertText(fieldText + QLatin1String("\r\n"));
                edit->moveCursor(QTextCursor::End);
                edit->ensureCursorVisible();
            }
            break;
        case ParamWidgetKind::EventsView:
            if (auto* view = dynamic_cast<EventsViewSink*>(widget))
                view->updateEvents(fieldText);
            break;
        case ParamWidgetKind::StatisticsView:
            if (auto* view = dynamic_cast<StatisticsViewSink*>(widget))
                view->updateStatistics(fieldText);
            break;
        default:
            break;
        }
        break;

    case ParamValueType::Hex:
    case ParamValueType::HexFlags:
    case ParamValueType::Decimal:
    case ParamValueType::DecimalFlags:
        updateNumber(name, fieldIndex, fieldText, fields, unitText);
        break;

    case ParamValueType::Bit:
        updateBit(name, fieldText, unitText);
        break;

    case ParamValueType::SignedScaled:
    case ParamValueType::UnsignedScaled:
        updateScaled(fieldText, unitText);
        break;

    case ParamValueType::Cells:
        updateCells(name, fieldText, fields);
        break;

    case ParamValueType::Duration:
        if (isLabelOrEdit(widgetKind)) {
            uint32_t s = 0;
            if (FieldText::readHex32(fieldText, &s))
                setText(QString::asprintf("%03u:%02u:%02u", s / 3600u, (s % 3600u) / 60u, s % 60u));
            else
                setText(QString());
        }
        break;

    case ParamValueType::Blank:
        if (isLabelOrEdit(widgetKind))
            setText(QString());
        break;

    case ParamValueType::DateTime:
        if (isLabelOrEdit(widgetKind)) {
            const QStringList parts = fieldText.split(QLatin1Char(','));
            if (parts.size() > 5) {
                // The parts go out as Latin-1, as the unit sends them.
                auto part = [&](int i) { return QString::fromLatin1(parts.at(i).toLatin1()); };
                setText(part(0) + QLatin1Char('-') + part(1) + QLatin1Char('-') + part(2) + QLatin1Char(' ') +
                        part(3) + QLatin1Char(':') + part(4) + QLatin1Char(':') + part(5));
            } else {
                setText(QString());
            }
        }
        break;

    case ParamValueType::Float:
        if (isLabelOrEdit(widgetKind))
            setText(realText<float>(fieldText, FieldText::readHex32, decimals, unitText));
        break;

    case ParamValueType::Double:
        if (isLabelOrEdit(widgetKind))
            setText(realText<double>(fieldText, FieldText::readHex64, decimals, unitText));
        break;

    default:
        // Editor types of the configuration page: enabling is all.
        break;
    }
}

void Param::updateNumber(const QString& name, int fieldIndex, const QString& fieldText, const QStringList& fields,
                         const QString& unitText)
{
    uint32_t u = 0;
    bool valid = false;
    if (valueType == ParamValueType::Hex || valueType == ParamValueType::HexFlags) {
        if (name == QLatin1String("ST1") && (fieldIndex == 5 || fieldIndex == 8) && fields.size() >= 10) {
            // The unit's flag word is split: low half in field 5, high half in field 8.
            uint32_t low = 0;
            if (!FieldText::readHex32(fields.at(6), &low) || low > 0xFFFFu)
                low = 0;
            uint32_t high = 0;
            valid = FieldText::readHex32(fields.at(9), &high);
            u = (high << 16) | low;
        } else {
            valid = FieldText::readHex32(fieldText, &u);
        }
    } else {
        valid = FieldText::readDec32(fieldText, &u);
    }
    const int v = int(u);

    auto nameOrNumber = [&]() {
        const auto it = valueNames.constFind(v);
        return it != valueNames.cend() ? *it : QString::number(v) + unitText;
    };

    switch (widgetKind) {
    case ParamWidgetKind::Label:
        if (!valid)
            setText(QString());
        else if (!bitNames.isEmpty())
            setText(flagText(u));
        else
            setText(nameOrNumber());
        break;
    case ParamWidgetKind::LineEdit:
        setText(valid ? nameOrNumber() : QString());
        break;
    case ParamWidgetKind::SpinBox:
    case ParamWidgetKind::ComboBox:
        setIndex(valid ? v : -1);
        break;
    default:
        break;
    }
}

void Param::updateBit(const QString& name, const QString& fieldText, const QString& unitText)
{
    uint32_t word = 0;
    const bool valid = FieldText::readHex32(fieldText, &word);
    int v = int((word >> bitNumber(offset)) & 1u);

    switch (widgetKind) {
    case ParamWidgetKind::Label: {
        if (!valid) {
            setText(QString());
            break;
        }
        if (name == QLatin1String("ST1")) {
            // An on/off flag whose pin function no pin carries shows as 2.
            const QString off = valueNames.value(0);
            const QString on = valueNames.value(1);
            const bool onOff = (off == QLatin1String("OFF") || off == QLatin1String("Inactive")) &&
                               (on == QLatin1String("ON") || on == QLatin1String("Active"));
            if (onOff && !isPinFunctionAssigned(offset))
                v = 2;
        }
        const auto it = valueNames.constFind(v);
        setText(it != valueNames.cend() ? *it : QString::number(v) + unitText);
        break;
    }
    case ParamWidgetKind::LineEdit:
        setText(valid ? QString::number(v) + unitText : QString());
        break;
    case ParamWidgetKind::SpinBox:
    case ParamWidgetKind::ComboBox:
        setIndex(valid ? v : -1);
        break;
    default:
        break;
    }
}

void Param::updateScaled(const QString& fieldText, const QString& unitText)
{
    int64_t raw = 0;
    bool valid;
    if (valueType == ParamValueType::SignedScaled) {
        valid = FieldText::readTwosComplementHex(fieldText, &raw);
    } else {
        uint32_t u = 0;
        valid = FieldText::readHex32(fieldText, &u);
        raw = u;
    }
    if (valid) {
        currentValue = double(raw + offset) * scale;
        if (currentValue == 0.0)
            currentValue = 0.0; // no "-0.0" when the scale is 0
    }

    auto number = [&]() { return QString::number(currentValue, 'f', decimals) + unitText; };

    switch (widgetKind) {
    case ParamWidgetKind::Label: {
        if (!valid) {
            setText(QString());
            break;
        }
        auto it = valueNames.cend();
        if (raw >= std::numeric_limits<int>::min() && raw <= std::numeric_limits<int>::max())
            it = valueNames.constFind(int(raw));
        setText(it != valueNames.cend() ? *it : number());
        break;
    }
    case ParamWidgetKind::LineEdit:
        setText(valid ? number() : QString());
        break;
    case ParamWidgetKind::SpinBox:
    case ParamWidgetKind::ComboBox:
        setIndex(valid ? roundToInt(currentValue) : -1);
        break;
    default:
        break;
    }
}

void Param::updateCells(const QString& name, const QString& fieldText, const QStringList& fields)
{
    const bool bv2 = name.contains(QLatin1String("BV2"));
    const bool bt2 = name.contains(QLatin1String("BT2"));
    const bool bb2 = name.contains(QLatin1String("BB2"));
    const bool bv4 = name.contains(QLatin1String("BV4"));
    const bool bt4 = name.contains(QLatin1String("BT4"));
    const bool bb4 = name.contains(QLatin1String("BB4"));
    if (!(bv2 || bt2 || bb2 || bv4 || bt4 || bb4))
        return;

    CellGraphSink* graph = nullptr;
    GroupedCellGraphSink* grouped = nullptr;
    if (widgetKind == ParamWidgetKind::CellsGraph)
        graph = dynamic_cast<CellGraphSink*>(widget);
    else if (widgetKind == ParamWidgetKind::GroupedCellsGraph)
        grouped = dynamic_cast<GroupedCellGraphSink*>(widget);

    auto field = [&](int k) { return k + 1 < fields.size() ? fields.at(k + 1) : QString(); };

    int32_t check = 0;
    if (!FieldText::readSignedHex32(field(2), &check)) {
        // A sentence without data empties the graph.
        if (bv2)
            clearWireBreakMap();
        if (graph)
            graph->resetValues();
        if (grouped)
            grouped->resetValues();
        return;
    }
    if (!graph && !grouped)
        return;

    uint32_t string = 0;
    uint32_t firstCell = 0;
    const bool stringValid = FieldText::readHex32(field(0), &string);
    const bool firstValid = FieldText::readHex32(field(1), &firstCell);
    if (!stringValid)
        string = 0;
    if (!firstValid)
        firstCell = 0;
    const bool positionValid = stringValid && firstValid;
    // Cells of a string the layout does not have are dropped.
    const bool stringInLayout = string < uint32_t(cellStringCount());
    const int s = stringInLayout ? int(string) : 0;
    const int64_t cellsInThisString = stringInLayout ? cellsInString(s) : 0;
    const int64_t firstInString = int64_t(firstCell) - cellsBeforeString(s);

    const int groupIndex = ((bt4 || bb4) && !(bt2 || bb2)) ? 1 : 0;
    const bool temperature = bt2 || bt4;
    const bool balancing = bb2 || bb4;

    const int cellCount = fieldText.size() / 2;
    for (int i = 0; i < cellCount; ++i) {
        const int hi = FieldText::hexDigit(fieldText.at(2 * i));
        const int lo = FieldText::hexDigit(fieldText.at(2 * i + 1));
        const bool charsValid = hi >= 0 && lo >= 0;
        const int b = charsValid ? hi * 16 + lo : 255;
        const float value = float(double(int64_t(b) + offset) * scale);

        const int64_t cell = firstInString + i;
        if (!stringInLayout || cell < 0 || cell >= cellsInThisString)
            continue;

        if (graph) {
            const bool valid = positionValid && (b != 255 || (bb2 && charsValid));
            if (valid)
                graph->addValue(s, int(cell), value);
            else
                graph->setInvalid(s, int(cell));
        } else {
            bool valid;
            if (temperature)
                valid = positionValid && charsValid && b >= 1 && b <= 254;
            else if (balancing)
                valid = positionValid && charsValid; // as on the plain graph: every byte is a rate
            else
                valid = positionValid && b != 255;
            if (valid)
                grouped->addValue(s, int(cell), groupIndex, value);
            else
                grouped->setInvalid(s, int(cell), groupIndex);
        }
    }

    if (graph)
        graph->requestRepaint();
    if (grouped)
        grouped->requestRepaint();
}
