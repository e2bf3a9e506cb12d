#include "IvtSensorSim.h"

IvtSensorSim::IvtSensorSim(CanBusSim& bus)
{
    std::shared_ptr<Shared> s = shared_;
    bus.addPeripheral([s](const CanBusSim::Frame& f, const CanBusSim::Reply& reply) { onFrame(*s, f, reply); });
}

IvtSensorSim::State IvtSensorSim::state() const
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->state;
}

void IvtSensorSim::update(const std::function<void(State&)>& change)
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    change(shared_->state);
}

QList<QByteArray> IvtSensorSim::requests() const
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->requests;
}

void IvtSensorSim::onFrame(Shared& s, const CanBusSim::Frame& f, const CanBusSim::Reply& reply)
{
    if (f.extended || f.id != 0x411 || f.data.size() != 8)
        return;
    std::lock_guard<std::mutex> lock(s.mutex);
    s.requests.append(f.data);
    State& st = s.state;
    if (st.silent)
        return;
    const auto b = [&](int i) { return quint8(f.data.at(i)); };
    QByteArray out(8, '\0');
    const auto answer = [&](quint8 code) {
        out[0] = char(code);
        reply(0x511, false, out);
    };
    const auto putId = [&](quint16 id) {
        out[1] = char(id >> 8);
        out[2] = char(id & 0xFF);
    };
    const quint8 cmd = b(0);
    if (cmd == 0x7B) {
        for (int i = 0; i < 4; ++i)
            out[1 + i] = char((st.serial >> (24 - 8 * i)) & 0xFF);
        answer(0xBB);
    } else if (cmd >= 0x50 && cmd <= 0x57) {
        putId(st.zeroId ? 0 : quint16(st.baseId + (cmd - 0x50)));
        answer(quint8(0x90 + (cmd - 0x50)));
    } else if (cmd >= 0x10 && cmd <= 0x17) {
        const quint16 id = quint16((b(1) << 8) | b(2));
        if (cmd == 0x10 && !st.zeroId)
            st.baseId = id;
        putId(st.zeroId ? 0 : id);
        answer(quint8(0x90 + (cmd - 0x10)));
    } else if (cmd == 0x34) {
        if (b(1) == 0x00) {
            if (!st.stopFails)
                st.stopped = true;
            out[1] = char(st.stopFails ? 1 : 0);
        } else {
            st.stopped = false;
            ++st.runs;
        }
        answer(0xB4);
    } else if (cmd >= 0x20 && cmd <= 0x27) {
        st.resultMode[size_t(cmd - 0x20)] = b(1);
        out[1] = char(st.resultFails ? 0 : b(1));
        answer(quint8(0xA0 + (cmd - 0x20)));
    } else if (cmd == 0x32) {
        if (!st.storeFails)
            ++st.stores;
        out[1] = char(st.storeFails ? 1 : 0);
        answer(0xB2);
    } else if (cmd == 0x3A) {
        st.bitRate = b(1);
    }
}
