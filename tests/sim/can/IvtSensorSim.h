#pragma once

#include "CanBusSim.h"

#include <QByteArray>
#include <QList>

#include <array>
#include <memory>
#include <mutex>

// An IVT-S current sensor on the bus: requests on the standard id 0x411,
// answers on 0x511 (8 bytes, unused bytes 0).
//   7B            -> BB serial (big-endian)
//   50+r 00 00 S  -> 90+r id of result r (big-endian)
//   10+r I S      -> takes id I for result r, answers 90+r I
//   34 00 01      -> stop mode, B4 00 (B4 01 with the stopFails knob)
//   34 01 01      -> run mode, B4 00
//   20+r m 00 t   -> takes the result configuration, A0+r m
//   32            -> stores the configuration, B2 00
//   3A code       -> takes the bit-rate code, no answer
// Attach it to a bus before the bus is installed or while it runs.
class IvtSensorSim
{
public:
    struct State
    {
        quint32 serial = 1234567;
        quint16 baseId = 0x521;
        bool stopped = false;
        int bitRate = -1;
        int stores = 0;
        int runs = 0;
        std::array<int, 8> resultMode{{-1, -1, -1, -1, -1, -1, -1, -1}};

        // Fault knobs.
        bool silent = false;       // answers nothing
        bool stopFails = false;    // B4 01 to the stop request
        bool zeroId = false;       // reads and sets answer with id 0
        bool storeFails = false;   // B2 01
        bool resultFails = false;  // A0 / A1 without the 0x42 bits
    };

    explicit IvtSensorSim(CanBusSim& bus);

    State state() const;
    void update(const std::function<void(State&)>& change);
    // Requests received, oldest first.
    QList<QByteArray> requests() const;

private:
    struct Shared
    {
        mutable std::mutex mutex;
        State state;
        QList<QByteArray> requests;
    };
    static void onFrame(Shared& s, const CanBusSim::Frame& f, const CanBusSim::Reply& reply);
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};
