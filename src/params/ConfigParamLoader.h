#pragma once

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class ConfigParam;
struct ConfigParamSlot;
class ParamReplyWait;
class QThread;
class UserQuestionAsker;

// The failure question's text, naming the parameter id in decimal.
QString paramLoadFailureQuestionText(int paramId);

// Reads the value of every queued configuration parameter from the control
// unit, one "CF2" query per id with up to three tries, in its own thread
// ("CF2 ParamLoader Thread") so that the window stays live. It reports
// progress by signals and asks the user, through the page, what to do about
// a parameter that never answers.
//
// It touches no widget and never blocks without looking at its stop flag:
// the progress dialog's "Hide" arrives as a flag, the failure question goes
// to a UserQuestionAsker (kind ParamLoadFailure) whose answer arrives in a
// shared record, and stop() ends every wait.
//
// The configuration page's side (GUI thread):
//   auto* loader = new ConfigParamLoader(hooks);
//   loader->queueParams(...);                 // one ConfigParam per id
//   connect the progress signals (queued) to the page's dialog slots;
//   ConfigParamLoader::start(loader, page);   // thread, wiring, start
//   QPointer<ConfigParamLoader> paramLoader = loader;   // non-null while it exists
//   ... dialog "Hide":    paramLoader->hideProgress();
//   ... closing:          ConfigParamLoader::shutdown(paramLoader, 500);
class ConfigParamLoader : public QObject
{
    Q_OBJECT
public:
    // The buttons of the failure question (the standard message-box codes).
    enum Answer : int {
        Yes = 0x4000,
        YesToAll = 0x8000,
        Cancel = 0x400000, // also a box closed without a choice
    };
    static constexpr int kTries = 3;

    // What the loader uses of the link and of the configuration page.
    struct Hooks
    {
        // Loader thread: sends the read query of one id ("CF2,IIII,?").
        std::function<void(int paramId)> sendParamRequest;
        // The page's reply wait, fed by its "CF2" reply handling.
        ParamReplyWait* replyWait = nullptr;
        // Shows the failure question (UserQuestion::ParamLoadFailure) in the
        // GUI thread and answers with giveChoice(Answer). Without one, a
        // parameter that does not answer ends the reading as Cancel would.
        UserQuestionAsker* asker = nullptr;
        // The page's "parameters loading" flag; cleared when the walk ends.
        std::atomic<bool>* loadingFlag = nullptr;
        // Any thread: false once the unit's link is gone. The walk then ends
        // unfinished, as on stop(), before it would ask about a parameter
        // that could not answer.
        std::function<bool()> linkUp;
    };

    explicit ConfigParamLoader(Hooks hooks, QObject* parent = nullptr);
    ~ConfigParamLoader() override;

    // Before start: appends the parameters in order, each id once (a
    // parameter whose id is already queued, by this or an earlier call, or
    // that has no value record, is left out). Takes the walk mutex.
    void queueParams(const QList<ConfigParam*>& params);
    int queuedCount() const;

    // Any thread.
    void stop();
    bool isStopped() const { return stopFlag_; }
    const std::atomic<bool>& stopFlag() const { return stopFlag_; }
    // The progress dialog's "Hide": the walk goes on without showing progress.
    void hideProgress() { progressHidden_ = true; }
    bool isProgressHidden() const { return progressHidden_; }

    // Creates the thread "CF2 ParamLoader Thread", moves the loader there,
    // wires started -> walk and done -> quit, and starts it with the caller's
    // priority. When the thread has finished, the loader and the thread are
    // deleted in owner's thread (the GUI thread), so a QPointer to the loader
    // held there stays valid until then.
    static QThread* start(ConfigParamLoader* loader, QObject* owner);

    // Owner's thread: stops the loader and waits up to waitMs for its thread.
    // When it ended, loader and thread are deleted at once and the pointer is
    // cleared; when it did not (a hung send), both are left to delete
    // themselves once the thread ends. Never terminates a thread. True when
    // nothing runs any more.
    static bool shutdown(QPointer<ConfigParamLoader>& loader, int waitMs);

signals:
    void done();
    void sigHideProgressBar();
    void sigShowProgressBar();
    void sigCloseProgressBar();
    void sigSetProgressBar(int percent);
    void sigDeleteProgressBarObjects();

public slots:
    // The walk: runs once, in the loader's thread.
    void paramLoaderThread();

private:
    // When stopped (or the link is gone): abort and true.
    bool checkStop(std::unique_lock<QMutex>* walkLock);
    void abort(std::unique_lock<QMutex>* walkLock);
    bool readParam(int paramId);
    // Blocks until the user answered or the loader is stopped (Cancel then).
    int askUser(ConfigParam* param);
    void walkEnded();

    Hooks hooks_;
    std::atomic<bool> stopFlag_{false};
    std::atomic<bool> progressHidden_{false};
    mutable QMutex walkMutex_;
    QList<ConfigParam*> params_;           // not owned
    QHash<int, ConfigParamSlot*> queued_;  // id -> record, to queue each id once
};
