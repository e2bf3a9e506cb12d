#pragma once

// The limit block shared by the Protections, Warnings and Reductions tabs:
// one enable flag (a bit of a flag word) with its activation and
// deactivation thresholds and delays, laid out in a small grid of its own.
#include <QString>
#include <QVector>

#include <cstdint>
#include <functional>

class ConfigPage;
class ConfigParam;
class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QWidget;

// How a limit value is held in its parameter and shown in its editor.
struct LimitEncoding
{
    int offset;
    double scale;
    int valueType;
    double minimum; // shown units
    double maximum;
    const char* unit;
    bool translateUnit; // "s" and "°C" are never translated
};

namespace LimitEncodings {
extern const LimitEncoding CellVoltage;       // byte, raw x 0.01 + 2.00
extern const LimitEncoding LowTemperature;    // byte, raw - 100, -100..155
extern const LimitEncoding HighTemperature;   // byte, raw - 100, 20..155
extern const LimitEncoding ActivationDelay;   // byte, tenths of a second
extern const LimitEncoding DeactivationDelay; // byte, whole seconds
extern const LimitEncoding Current;           // 16-bit, tenths of an ampere, up to 3200.0
extern const LimitEncoding ReductionCurrent;  // the same up to 1600.0
extern const LimitEncoding PackVoltage;       // 32-bit, hundredths of a volt, from 2.00
extern const LimitEncoding CellDeviation;     // byte, hundredths of a volt, up to 1.50
extern const LimitEncoding PackDeviation;     // 32-bit, hundredths of a volt, from 0.00
extern const LimitEncoding WireCount;         // 16-bit, 1..8160 wires
extern const LimitEncoding RestoreDuration;   // byte, 0..254 s
} // namespace LimitEncodings

// The flag words and one bit of them.
namespace FlagWord {
constexpr int W0 = 0x1600;
constexpr int W1 = 0x1604;
constexpr int W2 = 0x1608;
} // namespace FlagWord
constexpr uint32_t flagBit(int n) { return uint32_t(1) << n; }

// One numeric parameter of a block; a null name means the block has none.
struct LimitParam
{
    const char* name = nullptr;
    int id = -1;
    const LimitEncoding* encoding = nullptr;
};

// One block as the tabs declare it. Texts are source texts, translated
// while the block is built.
struct LimitBlockSpec
{
    enum Layout {
        Standard,         // thresholds in columns 2-4, delays in 5-7, rows 0 and 1
        DelaysSideBySide, // both delays in row 0 (columns 2-4 and 5-7)
        DelaysStacked,    // delays in columns 5-7 of rows 0 and 1
    };
    const char* caption;
    const char* flagName;
    int flagWord;
    uint32_t flagMask;
    int feature;
    // The hover tip of the flag: the full text, or empty to have the tab
    // compose it from subject and direction.
    const char* tip;
    const char* subject; // what the condition watches
    bool below;          // activated when the subject goes below the threshold
    LimitParam activation;
    LimitParam activationDelay;
    LimitParam deactivation;
    LimitParam deactivationDelay;
    Layout layout = Standard;
    int checkBoxWidth = 15;
    bool checkBoxLeft = false;
};

// Builds the blocks of one group one below the other: block k at (k, 1) of
// the group grid. Every widget is registered for visibility; the group must
// have been registered with the page before the first block.
class LimitBlockBuilder
{
public:
    static const QVector<int>& standardColumnWidths();

    LimitBlockBuilder(ConfigPage* page, QGridLayout* groupGrid, int editorWidth);

    int editorWidth() const { return m_editorWidth; }

    // A new, empty block grid at the next row of the group grid.
    QGridLayout* beginBlock(const QVector<int>& columnWidths = standardColumnWidths());
    QGridLayout* block() const { return m_block; }

    // A label in the current block, registered under the feature.
    QLabel* addLabel(const QString& text, int feature, int row, int column, Qt::Alignment alignment = {});

    // A flag check box on one bit of a flag word, with its hover tip.
    // paramFeature is the parameter's own feature, feature the one that
    // shows the box.
    QCheckBox* addFlag(const char* name, int word, uint32_t mask, int paramFeature, int feature,
                       const QString& tipText, int width, int row, int column, Qt::Alignment alignment = {});

    // A numeric editor with its fixed text before it and its unit after it.
    // width 0 is the editor width.
    QLineEdit* addEditor(const LimitParam& param, int feature, const QString& fixedText, int row, int labelColumn,
                         int editorColumn, int unitColumn, int width = 0, Qt::Alignment alignment = {});

    // A whole block from its declaration: caption, flag and the editors.
    QGridLayout* addBlock(const LimitBlockSpec& spec, const QString& tipText);
    // Only the editors of the declaration, into the current block (for
    // blocks whose caption or flag the caller places itself).
    void addLimits(const LimitBlockSpec& spec);

    // The parameter of the widget made last.
    ConfigParam* lastParam() const { return m_last; }

private:
    ConfigPage* m_page;
    QGridLayout* m_groupGrid;
    QGridLayout* m_block = nullptr;
    int m_editorWidth;
    int m_blocks = 0;
    ConfigParam* m_last = nullptr;
};

// The page frame of the three tabs: the group at the top left, stretches
// to the right and below.
class SignalWindowTab;
SignalWindowTab* makeLimitTab(QWidget* parent, const std::function<QWidget*(int editorWidth)>& buildGroup);
