#pragma once

#include "ControlUnitSim.h"

#include <QByteArray>
#include <QList>
#include <QMap>

#include <condition_variable>
#include <mutex>

// The control unit's legacy serial bootloader, on the emulator's pty. While
// the emulator is in its bootloader (reached through "RS1," and the "#?"/"#"
// probe) this takes the binary frames: a big-endian 16-bit length L, then L
// bytes. Each whole frame gets one answer byte: 0x11 when taken, another byte
// when refused (fault knob), nothing when silent (fault knob). Sentences
// ("VR1,?") still reach the emulator: a byte 'A'..'Z' at a frame boundary
// begins a sentence, so frames here are shorter than 0x0A00 bytes.
//
// Installs itself on the emulator for its lifetime. Safe from any thread.
class BootloaderSim
{
public:
    explicit BootloaderSim(ControlUnitSim& sim);
    ~BootloaderSim();
    BootloaderSim(const BootloaderSim&) = delete;
    BootloaderSim& operator=(const BootloaderSim&) = delete;

    // Fault knobs. Frames are counted by position in the image (taken
    // frames before it), so a resent frame has the same number.
    // The frame is refused this many times in a row with this answer byte.
    void refuseFrame(int frame, int times, char answer = char(0xEE));
    // From this frame on nothing is answered; -1 (default) off.
    void setSilentFrom(int frame);
    // After this many taken frames the unit restarts into its firmware (its
    // "DB1" banner follows); -1 (default) stays in the bootloader.
    void setRestartAfterFrames(int frames);

    // Record.
    QList<QByteArray> takenFrames() const; // whole frames, length included
    QByteArray takenImage() const;         // the taken frames joined
    int receivedFrameCount() const;        // taken, refused and unanswered
    QList<char> answers() const;           // every answer byte sent
    bool waitReceivedFrames(int n, int timeoutMs) const;

private:
    bool takeByte(ControlUnitSim& sim, char c);
    void frameComplete(ControlUnitSim& sim);

    ControlUnitSim& sim_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    enum class State { Boundary, Sentence, LengthLow, Body };
    State state_ = State::Boundary;
    int remaining_ = 0;
    QByteArray frame_;
    QList<QByteArray> taken_;
    int received_ = 0;
    QList<char> answers_;
    QMap<int, QPair<int, char>> refusals_;
    int silentFrom_ = -1;
    int restartAfter_ = -1;
};
