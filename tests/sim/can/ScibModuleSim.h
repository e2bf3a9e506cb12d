#pragma once

#include <QList>
#include <QMap>

#include <mutex>

class ControlUnitSim;

// Toshiba SCiB modules behind the control unit. Installed as the unit's
// "CN1" handler: module n answers the empty 11-bit poll on 0x504 + 0x10 n
// with eight data bytes from 0x504 + 0x10 n (or 0x50C + 0x10 n), while the
// unit is in its configuration mode. A 9-cell module fills bytes 2 to 7 with
// 0xAA; a 12-cell one sends its count there. Safe from any thread.
class ScibModuleSim
{
public:
    struct Module
    {
        int cells = 12;          // 9 or 12
        bool altReplyId = false; // answers on 0x50C + 0x10 n
        // Fault knobs.
        bool silent = false;
        int extraReplies = 0;    // repeats of the answer, with 12-cell data
        int dataBytes = 8;       // fewer: a short answer
    };

    void install(ControlUnitSim& unit);
    void uninstall();

    void setModule(int number, const Module& module);
    void removeModule(int number);
    // Polls seen, per module number (0 for ids that are no poll).
    QList<int> polls() const;
    int pollCount(int number) const;

private:
    void onFrame(ControlUnitSim& unit, const QStringList& fields);

    mutable std::mutex mutex_;
    ControlUnitSim* unit_ = nullptr;
    QMap<int, Module> modules_;
    QList<int> polls_;
};
