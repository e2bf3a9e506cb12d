#pragma once

#include "CANopen.h"
#include "SdoServerSim.h"

#include <QList>

#include <cstring>
#include <functional>

// An SDO client wired straight to a server in the same thread: each request
// is answered before the client starts to wait. A script, when set, answers
// instead of the server.
struct SdoUserRecord : CO::ICANopenCallback
{
    struct Abort
    {
        int index, subindex;
        quint32 code;
    };
    QList<Abort> aborts;
    QList<int> percents;
    void onAbort(int index, int subindex, quint32 code) override { aborts.append({index, subindex, code}); }
    void onProgress(int percent, int, int) override { percents.append(percent); }
};

class SdoTestClient : public CO::CANopen
{
public:
    using Script = std::function<QList<CO::CanMessage>(const CO::CanMessage&)>;

    SdoTestClient(SdoServer& server, int nodeId) : CO::CANopen(nullptr, nodeId, &user), server_(server) {}

    QList<CO::CanMessage> sent;
    SdoUserRecord user;
    QList<SdoUserRecord::Abort>& aborts = user.aborts;
    QList<int>& percents = user.percents;
    Script script;

    static CO::CanMessage message(quint16 id, std::initializer_list<quint8> bytes)
    {
        CO::CanMessage m;
        m.cobId = id;
        m.length = 8;
        int i = 0;
        for (quint8 b : bytes)
            m.data[i++] = b;
        return m;
    }

protected:
    void sendCanMessage(const CO::CanMessage& m) override
    {
        sent.append(m);
        if (script) {
            for (const CO::CanMessage& r : script(m))
                frameReceived(r);
            return;
        }
        SdoServer::Frame f;
        f.id = m.cobId;
        f.length = m.length;
        std::memcpy(f.data, m.data, 8);
        for (const SdoServer::Frame& r : server_.handle(f)) {
            CO::CanMessage out;
            out.cobId = quint16(r.id);
            out.length = r.length;
            std::memcpy(out.data, r.data, 8);
            frameReceived(out);
        }
    }

private:
    SdoServer& server_;
};
