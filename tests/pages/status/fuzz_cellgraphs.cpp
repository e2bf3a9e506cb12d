// Drives both cell graphs with arbitrary layouts, indices and values as a
// device could send them, directly and as cell sentences through the
// sentence dispatch, painting and asking for tips in between. Any read or
// write outside the tables shows up under the sanitizers.

#include "CCellsGraph.h"
#include "CellStringLayout.h"
#include "GroupedCellsGraph.h"
#include "Param.h"
#include "SentenceMaps.h"

#include <QApplication>
#include <QImage>

#include <cstdint>
#include <cstring>

namespace {

QApplication* g_app = nullptr;

struct Reader
{
    const uint8_t* data;
    size_t size;
    bool empty() const { return size == 0; }
    uint8_t byte()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
    // Mostly small numbers, sometimes any 32-bit value (huge, negative).
    int32_t number()
    {
        const uint8_t tag = byte();
        if (tag & 0x80) {
            uint32_t v = 0;
            for (int i = 0; i < 4; ++i)
                v = (v << 8) | byte();
            int32_t s;
            std::memcpy(&s, &v, sizeof s);
            return s;
        }
        return int32_t(tag & 0x3F) - 4;
    }
    // A short run of raw bytes as sentence text.
    QString text()
    {
        const int n = byte() % 48;
        QByteArray bytes;
        for (int i = 0; i < n && size > 0; ++i)
            bytes += char(byte());
        return QString::fromLatin1(bytes);
    }
    float value()
    {
        uint32_t bits = 0;
        for (int i = 0; i < 4; ++i)
            bits = (bits << 8) | byte();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives until the process ends: the offscreen plugin leaks its screen
    // when the application object is destroyed.
    g_app = new QApplication(*argc, *argv);
    // Paint once with text so that the fonts are loaded before the first
    // input; their caches would otherwise count as leaks of that input.
    CCellsGraph warm;
    warm.resize(160, 60);
    setCellStringCount(1);
    setCellsInString(0, 2);
    warm.addValue(0, 0, 3.3f);
    QImage img(160, 60, QImage::Format_ARGB32_Premultiplied);
    warm.render(&img);
    return 0;
}

// The same system libraries as in the test suite's suppressions.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig\nleak:libfreetype\nleak:libglib\nleak:libdbus\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in{data, size};
    CCellsGraph plain;
    GroupedCellsGraph grouped;
    plain.resize(160, 60);
    grouped.resize(160, 60);
    plain.setWireBreakMarks(true);
    plain.rangeMin = 2.0f;
    plain.rangeMax = 5.0f;
    plain.minSpan = 0.5f;
    grouped.rangeMin = -40.0f;
    grouped.rangeMax = 150.0f;
    grouped.valueFactors = {1.0f, 100.0f};
    grouped.decimals = {0, 2};
    clearWireBreakMap();

    // Bound as the Cells tab binds them.
    CSntcMap root;
    Param params[5];
    const struct
    {
        const char* name;
        int offset;
        double scale;
        QWidget* graph;
        int kind;
    } bindings[5] = {{"BV2", 200, 0.01, &plain, ParamWidgetKind::CellsGraph},
                     {"BT2", -100, 1.0, &grouped, ParamWidgetKind::GroupedCellsGraph},
                     {"BT4", -100, 1.0, &grouped, ParamWidgetKind::GroupedCellsGraph},
                     {"BB2", 0, 100.0 / 255.0, &plain, ParamWidgetKind::CellsGraph},
                     {"BB4", 0, 0.01, &grouped, ParamWidgetKind::GroupedCellsGraph}};
    for (int i = 0; i < 5; ++i) {
        params[i].sentenceName = bindings[i].name;
        params[i].fieldIndex = 3;
        params[i].valueType = ParamValueType::Cells;
        params[i].offset = bindings[i].offset;
        params[i].scale = bindings[i].scale;
        params[i].widget = bindings[i].graph;
        params[i].widgetKind = bindings[i].kind;
        root.addHandler(bindings[i].name, 3, &params[i]);
    }

    QImage img(160, 60, QImage::Format_ARGB32_Premultiplied);
    int paints = 0;

    while (!in.empty()) {
        switch (in.byte() % 13) {
        case 0:
            setCellStringCount(in.number());
            break;
        case 1: {
            const int s = in.number();
            // Keep the layouts small enough to paint quickly.
            const int cells = in.number();
            setCellsInString(s, cells > 64 ? cells % 64 : cells);
            break;
        }
        case 2: {
            const int s = in.number();
            const int c = in.number();
            plain.addValue(s, c, in.value());
            break;
        }
        case 3: {
            const int s = in.number();
            const int c = in.number();
            const int k = in.number();
            grouped.addValue(s, c, k, in.value());
            break;
        }
        case 4:
            grouped.setGroupSize(in.number());
            break;
        case 5: {
            const int s = in.number();
            const int w = in.number();
            setWireBreakWord(s, w, uint32_t(in.number()));
            break;
        }
        case 6: {
            const int s = in.number();
            const int pos = in.number();
            setCellModuleVersion(s, pos, in.number());
            break;
        }
        case 7:
            if (paints++ < 4) {
                plain.render(&img);
                grouped.render(&img);
            }
            break;
        case 8: {
            const QPoint at(in.number(), in.number());
            QString text;
            plain.tipAt(at, &text);
            grouped.tipAt(at, &text);
            break;
        }
        case 9: {
            const int s = in.number();
            const int c = in.number();
            const int k = in.number();
            plain.setInvalid(s, c);
            grouped.setInvalid(s, c, k);
            (void)plain.value(s, c);
            (void)grouped.value(s, c, k);
            (void)grouped.isValid(s, c, k);
            (void)grouped.valueCount(s, c);
            break;
        }
        case 10:
            if (in.byte() & 1) {
                plain.resetValues();
                grouped.resetValues();
            } else {
                plain.setEnabled(!plain.isEnabled());
                grouped.setEnabled(!grouped.isEnabled());
            }
            break;
        case 12: {
            static const char* const names[] = {"BV2,", "BT2,", "BT4,", "BB2,", "BB4,"};
            root.dispatch(QString::fromLatin1(names[in.byte() % 5]) + in.text());
            break;
        }
        case 11:
            plain.fixedRange = !plain.fixedRange;
            grouped.fixedRange = !grouped.fixedRange;
            plain.minSpan = in.value();
            plain.setAlarmColoring(in.byte() & 1);
            plain.setAlarmBlending(in.byte() & 1);
            plain.setAlarmRange(in.number(), in.number());
            break;
        }
    }
    plain.render(&img);
    grouped.render(&img);
    return 0;
}
