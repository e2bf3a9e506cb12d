#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class ControlUnitSim;

// CAN peripherals behind the control unit: cell group modules, current
// sensors, splitters and other route devices. Installed on a ControlUnitSim
// as its "CN1" handler: every frame the tool sends goes on this bus, and the
// devices' answers come back as "CN1" lines while the unit is in one of its
// configuration modes: "CM1" passes every frame, "CM2" only the frames its
// five filter words pass (passesFilter). Safe from any thread.
//
// Route devices (requests on 0x1FFFFEE5, answers on 0x1FFFFEE6):
//   10 EF            forgets the discovery acknowledgement
//   11 EE x4         unacknowledged devices answer 11 EE type serial
//   12 ED ts         acknowledges: silent to 11 EE until the next 10 EF
//   00 FF x4         every device answers 00 FF type serial (legacy)
//   01 FE ts         enters the configuration mode, answers 01 FE 00 00
//   09 F6 ts         answers 09 F6 + version (0xFF00FF00 in configuration mode)
//   02 FD ts         answers 02 FD status 00; status 0 leaves the mode
//   03 FC ts         answers 03 FC 00 00 + base id (bit 31: 29-bit ids)
//   04 FB / 05 FA    devices in the mode take a base / secondary id
//   06 F9 s          devices in the mode take the speed code
//   0B F4 p v        devices in the mode store a parameter (splitters)
//   0F F0            boards in the mode answer 0F F0 power-state
//   0E F1 v          boards in the mode take the power state, answer 0E F1
// (boards: modules serving temperature boards, types 48-63 and 112-143)
// Group modules on their own ids R (reply R + 1, error R + 2), byte 0 being
// the sequence byte they echo:
//   seq 01 D8 03 | seq 0F 01 | seq 0F 02   arm a request; seq FF runs it
//   (0F: second-generation modules, type 9, only):
//       cell count  -> seq cells
//       enumeration -> seq 01 00 01 (running), later seq 01 00 02 (done)
//       sorting     -> seq 02 00 03 (running), later seq 02 00 04 (done)
//   seq 0A cells, seq 0B 00                 stored, no answer
// Faults: per-device knobs in Device (silent, garbled route answers, refusals,
// missing answers, sorting errors); two devices added with the same type and
// serial act as one address with a duplicate serial; the control unit's own
// knobs (dropped or corrupted lines) apply to every "CN1" answer.
class CanBusSim
{
public:
    struct Device
    {
        quint16 type = 1;
        quint32 serial = 0;
        quint32 baseId = 0x00000100;     // bit 31 set: 29-bit identifiers
        quint32 secondaryId = 0;
        quint32 version = 0x00020500;
        quint8 cells = 12;
        bool legacy = false;             // answers only the 00 FF discovery

        // Fault knobs.
        bool silent = false;             // answers nothing at all
        bool corruptRoute = false;       // route answers carry a wrong complement
        bool refuseEnter = false;        // never enters its configuration mode
        bool noBaseIdReply = false;
        bool noVersionReply = false;
        bool noCellCountReply = false;
        bool cellCountError = false;     // answers the cell count on R + 2
        quint8 idStatus = 0;             // status of its 04 / 05 answers
        quint8 speedStatus = 0;
        quint8 leaveStatus = 0;
        bool leaveSilent = false;
        int enumerationMs = 150;         // -1: never done
        int sortingMs = 150;             // -1: never done
        int sortingDoneRepeats = 1;      // "done" answers sent per sorting
        bool sortingError = false;       // answers the sorting on R + 2
        quint8 paramStatus = 0;          // status of its 0B answers (not 0: refused)
        bool paramSilent = false;        // no answer to 0B
        bool powerSilent = false;        // no answer to 0E / 0F

        // State, as the tests read it.
        bool configMode = false;
        bool acknowledged = false;
        int enterRequests = 0;
        int leaveRequests = 0;
        int speed = -1;
        int storedCells = -1;            // from seq 0A cells
        bool committed = false;          // seq 0B 00 seen
        bool enumerated = false;
        int sortRequests = 0;
        QMap<quint16, quint32> params;
        int powerState = 0;              // temperature boards: 0F F0 reads it, 0E F1 v sets it
    };

    // A frame the tool put on the bus.
    struct Frame
    {
        quint32 id = 0;
        bool extended = false;
        QByteArray data;
    };

    // A centralized group module serving temperature boards (type 48): it
    // answers the legacy discovery and reads / takes its power state (0F / 0E)
    // in its configuration mode.
    static Device temperatureBoard(quint32 serial, int powerState);

    CanBusSim();
    ~CanBusSim();
    CanBusSim(const CanBusSim&) = delete;
    CanBusSim& operator=(const CanBusSim&) = delete;

    // Becomes the unit's "CN1" handler. The unit must outlive this object's
    // use; stop() (or the destructor) ends the answer thread.
    void install(ControlUnitSim& unit);
    void stop();

    int addDevice(const Device& device);
    Device device(int index) const;
    void updateDevice(int index, const std::function<void(Device&)>& change);
    int deviceCount() const;

    // Route answers come from 0x1FFFE5E6 instead of 0x1FFFFEE6.
    void setAlternateReplyId(bool on);
    // Further peripherals (see IvtSensorSim.h): called, under the bus's lock,
    // with every frame that is not a route request; reply() queues an answer.
    using Reply = std::function<void(quint32 id, bool extended, const QByteArray& data)>;
    using Peripheral = std::function<void(const Frame& frame, const Reply& reply)>;
    void addPeripheral(Peripheral peripheral);
    // Frames recorded, oldest first.
    QList<Frame> frames() const;
    void clearFrames();
    // Frames with this first data byte to the route request id.
    int routeRequestCount(quint8 code) const;

    // The unit's filter: W0 holds the mask, bit 31 saying it applies to
    // 29-bit frames (clear: 11-bit frames); frames of the other kind pass.
    // A frame of its kind passes when (id & mask) equals (Wn & mask) for one
    // of W1..W4. No words (the plain mode) pass everything.
    static bool passesFilter(const QList<quint32>& words, quint32 id, bool extended);
    // Answers the unit's filter held back, as the tests read it.
    int filteredCount() const;

    static quint32 moduleId(const Device& d) { return d.baseId & (isExtended(d) ? 0x1FFFFFFFu : 0x7FFu); }
    static bool isExtended(const Device& d) { return d.baseId & 0x80000000u; }
    static bool servesBoards(const Device& d) { return (d.type >> 4) == 3 || (d.type >> 4) == 7 || (d.type >> 4) == 8; }

private:
    void onSentence(const QStringList& fields);
    void handleRoute(const Frame& f);
    void handleModule(const Frame& f);
    void send(quint32 id, bool extended, const QByteArray& data, int delayMs = 0);
    void sendRoute(Device& d, const QByteArray& data);
    void loop();

    ControlUnitSim* unit_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    QList<Device> devices_;
    QList<Frame> frames_;
    QList<Peripheral> peripherals_;
    bool alternateReplyId_ = false;
    // Armed module requests: device index -> (sequence, command).
    QMap<int, QPair<quint8, quint8>> armed_;
    struct Outgoing
    {
        qint64 dueMs;
        QString line;
        quint32 id;
        bool extended;
    };
    int filtered_ = 0;
    std::deque<Outgoing> outgoing_;
    std::thread thread_;
    bool running_ = false;
};
