#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <mutex>

class ControlUnitSim;

// A coherent battery pack behind the control-unit emulator: strings x cells
// of cells near 3.3 V and 25 degC, a discharge current, a state of charge,
// some balancing, module versions and wire breaks, and a master/slave network.
// It answers every status and cell query ("<name>,?") with sentences in the
// unit's own formats, and can send the unsolicited "MS2" rows and the network
// broadcast frame. Settings may change while the emulator runs.
class PackModel
{
public:
    PackModel();

    // Answers the status and cell sentences on the emulator (replaces any
    // handler of those names).
    void install(ControlUnitSim& sim);
    // Puts the configuration values the Status page follows and the cell
    // layout (0x0010, 0x0013, 0x0100, 0x0111, 0x1600, 0x1800, 0x1E00) into
    // the emulator's parameter store, as of now.
    void installConfigReplies(ControlUnitSim& sim);

    // Layout, 1..31 strings of 1..255 cells.
    void setLayout(int strings, int cellsPerString);
    int stringCount() const;
    int cellsPerString() const;
    void setCellInvalid(int string, int cell, bool invalid = true);
    // Boundary wire w of a string (0 = below cell 0, c = above the last cell).
    void setWireBroken(int string, int wire, bool broken = true);
    void setCurrentDeciAmps(int deciAmps);
    void setSocHundredths(int hundredths);
    // Master/slave: the number of units in the network and whether rows
    // carry the extended fields 17-22.
    void setMasterSlaveUnits(int units);
    // Configuration values reported through "CF2".
    void setConfigValue(int id, uint32_t value);
    uint32_t configValue(int id) const;
    // A pack that lives: its clock and uptime run, cells and temperatures
    // drift a little around their model values, the current wanders. Off:
    // every query gets the same answer. "TD1,<date and time>" sets the clock.
    void setLive(bool on);
    // Seconds the unit has run since its power-up, as "TD1" reports them.
    qint64 uptimeSeconds() const;
    // The unit started again (a reset): its uptime counts from 0.
    void restartUptime();
    // Whether "CMV1" is answered (a unit that never reports module versions).
    void setModuleVersionsAnswered(bool on);

    // The raw codes of the model.
    int cellVoltageCode(int string, int cell) const;   // (V x 100) - 200; 0xFF invalid
    int cellTemperatureCode(int string, int cell) const; // degC + 100
    int balancingRateCode(int string, int cell) const;  // 0..255
    uint32_t wireBreakWord(int string, int word) const;

    // Sentences (without check suffix) answering one "<name>,?" query; empty
    // for a name the model does not know.
    QStringList replyFor(const QString& name) const;
    // One "MS2" row (full: fields 0-22, else the short form 0-6).
    QString masterSlaveRow(int row, bool full) const;
    // The network broadcast frame: "CN1,<id>,..." with the given kind byte.
    QString networkFrame(int kind = 1) const;
    // Sends every "MS2" row and the network frame.
    void sendMasterSlave(ControlUnitSim& sim, bool full = true) const;

private:
    QStringList cellSentences(const QString& name) const;
    QString statusLine(const QString& name) const;
    int liveCells() const;
    // Seconds since setLive(true); 0 while not live.
    qint64 liveSeconds() const;
    int drift(int seed, int periodS) const; // -1, 0 or +1, changing every periodS
    int totalCentivolts() const;

    mutable std::mutex mutex_;
    int strings_ = 4;
    int cells_ = 16;
    QSet<QPair<int, int>> invalid_;
    QSet<QPair<int, int>> wireBreaks_;
    int currentDeciAmps_ = -125;
    int socHundredths_ = 7650;
    int msUnits_ = 3;
    bool answerModuleVersions_ = true;
    QMap<int, uint32_t> config_;
    std::atomic<bool> live_{false};
    std::atomic<qint64> liveStartMs_{0};
    qint64 clockAtStart_ = 0; // unit seconds since 2000-01-01 at liveStartMs_
    // Uptime: uptimeBase_ seconds at uptimeFromMs_ (steady clock).
    std::atomic<qint64> uptimeBase_{0x1C2A5}; // about 32 hours at first
    std::atomic<qint64> uptimeFromMs_{0};
};
