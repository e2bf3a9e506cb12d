#pragma once

#include <QByteArray>
#include <QMutex>
#include <QSemaphore>

#include <atomic>
#include <deque>
#include <memory>

// A small client for the Service Data Object protocol: reads (upload) and
// writes (download) one object of one node, blocking the calling thread
// until the transfer ends, times out or is aborted. It knows nothing of the
// medium: a transport derives from CANopen, sends its messages and feeds it
// what it receives through frameReceived().
namespace CO {

// Transfer results.
enum TransferStatus { Done = 0, TimedOut = 1, Aborted = 2 };

// Abort codes the client itself sends.
constexpr quint32 kAbortToggle = 0x05030000;          // toggle bit not alternated
constexpr quint32 kAbortCommand = 0x05040001;         // command specifier not valid or unknown
constexpr quint32 kAbortBlockSize = 0x05040002;       // invalid block size
constexpr quint32 kAbortSequence = 0x05040003;        // invalid sequence number
constexpr quint32 kAbortGeneral = 0x08000000;         // general error
constexpr quint32 kAbortNoSubBlock = 0x08000024;      // acknowledgement without a sub-block

struct CanMessage
{
    quint16 cobId = 0; // 11-bit identifier
    quint8 length = 0;
    quint8 data[8] = {};
};

// What a transfer calls on its owner.
class ISessionCallback
{
public:
    virtual void sendFrame(const quint8 request[8]) = 0;
    virtual void onUploadData(int index, int subindex, const QByteArray& data);
    virtual void onComplete(int index, int subindex);
    virtual void onAbort(int index, int subindex, quint32 code);
    virtual void onProgress(int percent, int done, int total);

protected:
    ~ISessionCallback() = default;
};

// What the client reports to its user.
class ICANopenCallback
{
public:
    virtual void onAbort(int index, int subindex, quint32 code);
    virtual void onProgress(int percent, int done, int total);
    virtual ~ICANopenCallback() = default;
};

// One transfer.
class Session
{
public:
    Session(int index, int subindex, ISessionCallback* owner);
    virtual ~Session() = default;
    // True when the transfer is over.
    virtual bool onResponse(const CanMessage& message) = 0;

    int index;
    int subindex;
    ISessionCallback* owner;
    QByteArray data;
    int position = 0; // bytes of the data already handed to the wire
    int end = 0;      // bytes in the data
    int total = 0;    // largest size seen, for progress

protected:
    // A request in the initiate layout: command, index, subindex, bytes 4-7.
    void sendRequest(quint8 command, const quint8* payload = nullptr, int n = 0);
    void sendRaw(const quint8 bytes[8]) { owner->sendFrame(bytes); }
    // Ends the transfer with an abort of our own: told to the server and,
    // through onAbort, to the owner. Always true (the transfer is over).
    bool abortTransfer(quint32 code);
    // The server's abort: index, subindex and code as it sent them.
    bool serverAbort(const CanMessage& m);
    // True when an initiate response names the object of this transfer.
    bool sameObject(const CanMessage& m) const;
    void progress(int done);
};

class UploadSession : public Session
{
public:
    using Session::Session;
    void start();
    bool onResponse(const CanMessage& message) override;

private:
    bool segmented_ = false;
    int toggle_ = 0; // of the segment requested last
};

struct SubBlock
{
    QByteArray data;
    int offset = 0;        // of the next byte to send
    int length = 0;
    int largestLength = 0;
    int segmentCount = 0;
    int nextSequence = 1;
};

class DownloadSession : public Session
{
public:
    using Session::Session;
    void start(const QByteArray& bytes);
    bool onResponse(const CanMessage& message) override;

    quint8 expedited = 0;
    quint8 toggle = 0;
    std::unique_ptr<SubBlock> subBlock;

private:
    enum class Mode { Expedited, Segmented, Block };
    bool onBlockResponse(const CanMessage& m);
    void sendSegment();
    void fillSubBlock(int blockSize);
    void sendSubBlockSegments();

    Mode mode_ = Mode::Expedited;
    bool initiated_ = false;
    bool endSent_ = false;
};

// The client. Transfers run one at a time; upload() and download() block the
// calling thread, frameReceived() may be called from any thread.
class CANopen : private ISessionCallback
{
public:
    CANopen(void* link, int nodeId, ICANopenCallback* callback);
    virtual ~CANopen();
    CANopen(const CANopen&) = delete;
    CANopen& operator=(const CANopen&) = delete;

    // Reads an object; the data is valid with status Done. A time-out of 0
    // waits without limit (until cancel()).
    QByteArray upload(int index, int subindex, int timeoutMs, int* status);
    int download(int index, int subindex, const QByteArray& data, int timeoutMs);

    // Every received 11-bit message; any thread.
    void frameReceived(const CanMessage& message);
    // Ends a waiting transfer (status TimedOut) and every later one; for
    // shutting down. Any thread.
    void cancel();
    bool isCancelled() const { return cancelled_; }

    int nodeId() const { return nodeId_; }
    void* link() const { return link_; }
    void setUserCallback(ICANopenCallback* callback) { callback_ = callback; }

    // Messages kept while no transfer takes them; older ones are dropped.
    static constexpr int kQueueLimit = 1024;

protected:
    virtual void sendCanMessage(const CanMessage& message) = 0;

    void sendFrame(const quint8 request[8]) override { sendSdoRequest(request); }
    void onUploadData(int index, int subindex, const QByteArray& data) override;
    void onComplete(int index, int subindex) override;
    void onAbort(int index, int subindex, quint32 code) override;
    void onProgress(int percent, int done, int total) override;

private:
    void sendSdoRequest(const quint8 request[8]);
    bool waitForResponse(int timeoutMs);
    void clearQueue();
    int finish(bool answered);

    void* link_;
    QSemaphore received_;
    QMutex queueMutex_;
    std::deque<CanMessage> queue_;
    int nodeId_;
    ICANopenCallback* callback_;
    bool aborted_ = false;
    QByteArray uploaded_;
    Session* current_ = nullptr;
    std::atomic<bool> cancelled_{false};
};

} // namespace CO
