#include "BootloaderSim.h"

#include <chrono>

namespace {
constexpr char kTaken = 0x11;
}

BootloaderSim::BootloaderSim(ControlUnitSim& sim) : sim_(sim)
{
    sim_.setBootloaderByteHook([this](ControlUnitSim& s, char c) { return takeByte(s, c); });
}

BootloaderSim::~BootloaderSim()
{
    sim_.setBootloaderByteHook(nullptr);
}

void BootloaderSim::refuseFrame(int frame, int times, char answer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    refusals_[frame] = qMakePair(times, answer);
}

void BootloaderSim::setSilentFrom(int frame)
{
    std::lock_guard<std::mutex> lock(mutex_);
    silentFrom_ = frame;
}

void BootloaderSim::setRestartAfterFrames(int frames)
{
    std::lock_guard<std::mutex> lock(mutex_);
    restartAfter_ = frames;
}

QList<QByteArray> BootloaderSim::takenFrames() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return taken_;
}

QByteArray BootloaderSim::takenImage() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    QByteArray all;
    for (const QByteArray& f : taken_)
        all += f;
    return all;
}

int BootloaderSim::receivedFrameCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

QList<char> BootloaderSim::answers() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return answers_;
}

bool BootloaderSim::waitReceivedFrames(int n, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return received_ >= n; });
}

bool BootloaderSim::takeByte(ControlUnitSim& sim, char c)
{
    std::unique_lock<std::mutex> lock(mutex_);
    switch (state_) {
    case State::Boundary:
        if ((c >= 'A' && c <= 'Z') || c == '#') {
            state_ = c == '#' ? State::Boundary : State::Sentence;
            return false;
        }
        if (c == '\r' || c == '\n')
            return false;
        frame_ = QByteArray(1, c);
        state_ = State::LengthLow;
        return true;
    case State::Sentence:
        if (c == '\r' || c == '\n')
            state_ = State::Boundary;
        return false;
    case State::LengthLow:
        frame_.append(c);
        remaining_ = (quint8(frame_[0]) << 8) | quint8(c);
        state_ = State::Body;
        break;
    case State::Body:
        frame_.append(c);
        --remaining_;
        break;
    }
    if (remaining_ == 0) {
        state_ = State::Boundary;
        lock.unlock();
        frameComplete(sim);
    }
    return true;
}

void BootloaderSim::frameComplete(ControlUnitSim& sim)
{
    bool answer = true;
    char byte = kTaken;
    bool restart = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++received_;
        const int index = taken_.size();
        auto refusal = refusals_.find(index);
        if (silentFrom_ >= 0 && index >= silentFrom_) {
            answer = false;
        } else if (refusal != refusals_.end() && refusal->first > 0) {
            --refusal->first;
            byte = refusal->second;
        } else {
            taken_.append(frame_);
            restart = restartAfter_ >= 0 && taken_.size() >= restartAfter_;
        }
        if (answer)
            answers_.append(byte);
        frame_.clear();
        changed_.notify_all();
    }
    if (answer)
        sim.sendRaw(QByteArray(1, byte));
    if (restart)
        sim.setMode(ControlUnitSim::Mode::Rebooting);
}
