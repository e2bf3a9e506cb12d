#pragma once

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

// The Status page's decisions and texts that need no widget: the reactions to
// the unit's kind and configuration values, the raw cell sentences, and the
// master/slave rows and network frame. The page applies the results.
namespace StatusLogic {

// Field 3 of a "VR1" line split at commas (the firmware version); empty when
// the line has fewer fields.
QString firmwareVersion(const QString& versionLine);

// What a version line does to the hardware kind and the Master/Slave tab.
enum class MasterSlaveTabAction { None, Remove, Restore };
struct KindDecision
{
    bool examined = false; // false: not a "VR1" line, or the kind was known
    int kind = 0;          // 0 unknown, 1 "BMS1" or a 2.0 firmware, 2 "BMS2"/"BMS3"
    bool known = false;
    MasterSlaveTabAction tab = MasterSlaveTabAction::None;
};
KindDecision decideHardwareKind(const QString& line, int currentKind, bool currentKnown);

// Configuration parameter ids the page follows.
enum ConfigId : int {
    CellsPeriodId = 0x0010,
    MasterSlaveTimeoutId = 0x0111,
    MasterSlaveConfigId = 0x1600,
    ChargerTypeId = 0x1800,
    MasterSlaveFrameId = 0x1E00,
};
// 0x0010: the cells timer period in units of 100 ms, at least 5.
uint16_t cellsPeriodFor(uint32_t value);
// 0x1E00: the beginning of the "CN1" sentence of the network frame.
QString framePrefixFor(uint32_t value);

// 0x1600: master/slave extended columns and operation.
struct MasterSlaveDecision
{
    bool extColumns = false;
    bool active = false;
    bool setTabEnabled = false; // only a kind-2 unit enables or disables its tab
};
MasterSlaveDecision masterSlaveFor(uint32_t value, int kind, bool kindKnown, bool feature75Supported);

// 0x1800: the widget-group calls (group, visible) in order; none without
// feature 17.
QVector<QPair<int, bool>> chargerTypeGroupCalls(uint32_t value, bool feature17Supported);

// A "VR1" line of a lithium-titanate pack.
bool isLithiumTitanate(const QString& vr1Line, bool ltoSupportEnabled);

// "CMV1,<string>,<first position>,<count>,<versions>".
struct ModuleVersions
{
    bool ok = false;
    QString debugText; // set when the line is malformed
    int string = 0;
    int firstPosition = 0;
    QVector<int> versions; // only positions inside the module table
};
ModuleVersions parseModuleVersions(const QString& sentence);

// "BW1,<string>,<first cell>,<unused>,<word>...".
struct WireBreaks
{
    bool ok = false;
    bool clearAll = false; // "BW1,,,,,,"
    QString debugText;
    int string = 0;
    int firstWord = 0;
    QVector<uint32_t> words; // only words inside the wire-break table
};
WireBreaks parseWireBreaks(const QString& sentence);

// Master/slave table texts.
QString msDecimalText(uint32_t v);
QString msRoleText(uint32_t v);
QString msCanIdText(uint32_t v);
QString msContactorText(uint32_t v);
QString msVoltageText(uint32_t v);
QString msCellVoltageText(uint32_t v, double cellVoltageOffset);
QString msTemperatureText(uint32_t v);
QString msBalancingRateText(uint32_t v);
QString msCurrentText(uint32_t v);
// 1.00 V for "SCiB" firmware or lithium-titanate support, else 2.00 V.
double msCellVoltageOffset(const QString& versionLine, bool ltoSupportEnabled);

constexpr int kMasterSlaveRows = 32;
constexpr int kMasterSlaveColumns = 21;

// One "MS2" row.
struct MasterSlaveRow
{
    bool decoded = false;  // at least two commas
    int count = 0;         // rows to show
    int row = -1;          // -1: outside the table, no row is written
    bool full = false;     // carries fields 0-7: columns 5-20 are written
    QStringList texts;     // 5 texts (short) or 21 (full); a missing field is empty
};
MasterSlaveRow decodeMasterSlaveRow(const QString& sentence, double cellVoltageOffset);

// The network broadcast frame.
struct NetworkFrame
{
    bool used = false;   // the data length was 8 and the kind 1
    QString serial;
    QString state;       // null: leave the label as it is
    QString role;        // null: leave the label as it is
};
NetworkFrame decodeNetworkFrame(const QString& sentence);

// The master/slave time-out limit in ticks.
uint16_t masterSlaveTickLimit(uint16_t timeoutBase);

} // namespace StatusLogic
