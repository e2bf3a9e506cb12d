#include "ConfigParamLoader.h"

#include "ConfigParam.h"
#include "ParamReplyWait.h"
#include "UserQuestion.h"

#include <QCoreApplication>
#include <QThread>

#include <sys/prctl.h>

QString paramLoadFailureQuestionText(int paramId)
{
    return QCoreApplication::translate(
               "ConfigPage",
               "Warning: Failed to load configuration parameter %1.\nYou may continue configuring the device but "
               "not all configuration parameters would be visible.\nIt is likely that you are using incompatible "
               "KEPO Dadevoz Arezi and KEPO Control Unit versions.\nPlease check for new Dadevoz Arezi software "
               "and Control Unit firmeware versions on KEPO support page.\n\nDo you want to ignore this fault and "
               "try to continue loading the other parameters?")
        .arg(paramId);
}

ConfigParamLoader::ConfigParamLoader(Hooks hooks, QObject* parent)
    : QObject(parent), hooks_(std::move(hooks))
{
}

ConfigParamLoader::~ConfigParamLoader() = default;

void ConfigParamLoader::queueParams(const QList<ConfigParam*>& params)
{
    QMutexLocker lock(&walkMutex_);
    for (ConfigParam* p : params) {
        if (!p || !p->slot || queued_.contains(p->slot->id))
            continue;
        queued_.insert(p->slot->id, p->slot);
        params_.append(p);
    }
}

int ConfigParamLoader::queuedCount() const
{
    QMutexLocker lock(&walkMutex_);
    return params_.size();
}

void ConfigParamLoader::stop() { stopFlag_ = true; }

bool ConfigParamLoader::checkStop(std::unique_lock<QMutex>* walkLock)
{
    if (!stopFlag_ && hooks_.linkUp && !hooks_.linkUp())
        stopFlag_ = true;
    if (!stopFlag_)
        return false;
    abort(walkLock);
    return true;
}

void ConfigParamLoader::abort(std::unique_lock<QMutex>* walkLock)
{
    QThread::msleep(50);
    QCoreApplication::processEvents();
    if (hooks_.replyWait)
        hooks_.replyWait->cancel();
    if (walkLock && walkLock->owns_lock())
        walkLock->unlock();
    emit sigCloseProgressBar();
    emit sigDeleteProgressBarObjects();
    walkEnded();
    emit done();
}

void ConfigParamLoader::walkEnded()
{
    // Also after a cancel or a stop: a load that is over must not keep the
    // status polling gated.
    if (hooks_.loadingFlag)
        *hooks_.loadingFlag = false;
}

bool ConfigParamLoader::readParam(int paramId)
{
    if (!hooks_.replyWait)
        return false;
    if (hooks_.sendParamRequest)
        hooks_.sendParamRequest(paramId);
    return hooks_.replyWait->wait(stopFlag_);
}

int ConfigParamLoader::askUser(ConfigParam* param)
{
    if (!hooks_.asker)
        return Cancel;
    UserQuestion question;
    question.kind = UserQuestion::ParamLoadFailure;
    question.paramId = param->paramId();
    question.text = paramLoadFailureQuestionText(question.paramId);
    auto withdrawn = std::make_shared<std::atomic<bool>>(false);
    question.withdrawn = [withdrawn] { return withdrawn->load(); };
    auto answer = std::make_shared<UserAnswer>();
    hooks_.asker->ask(question, answer);
    if (!waitForUserAnswer([&answer] { return answer->isAnswered(); }, [this] { return stopFlag_.load(); })) {
        *withdrawn = true; // stopped: the question's box goes; a later answer lands in the shared record only
        return Cancel;
    }
    return answer->choice();
}

void ConfigParamLoader::paramLoaderThread()
{
    // The pause before each query is a few ms: slept to the microsecond, not
    // with the default 50 us of slack.
    prctl(PR_SET_TIMERSLACK, 1UL);
    QList<ConfigParam*> params;
    {
        QMutexLocker lock(&walkMutex_);
        params = params_;
    }
    const int count = params.size();
    if (count == 0) {
        emit sigSetProgressBar(100);
        walkEnded();
        emit done();
        return;
    }

    bool yesToAll = false;
    for (int n = 1; n <= count; ++n) {
        ConfigParam* p = params[n - 1];
        std::unique_lock<QMutex> walk(walkMutex_, std::defer_lock);
        if (checkStop(&walk))
            return;
        walk.lock();
        const int id = p->paramId();
        if (hooks_.replyWait)
            hooks_.replyWait->expect(id);

        bool read = false;
        for (int attempt = 0; attempt < kTries && !read; ++attempt) {
            if (checkStop(&walk))
                return;
            read = readParam(id);
        }
        if (checkStop(&walk))
            return;

        if (!read) {
            if (hooks_.replyWait)
                hooks_.replyWait->cancel();
            if (!yesToAll) {
                emit sigHideProgressBar();
                const int answer = askUser(p);
                if (checkStop(&walk))
                    return;
                if (answer == YesToAll) {
                    yesToAll = true;
                    emit sigShowProgressBar();
                } else if (answer == Yes) {
                    yesToAll = false;
                    emit sigShowProgressBar();
                } else {
                    walk.unlock();
                    emit sigCloseProgressBar();
                    emit sigDeleteProgressBarObjects();
                    walkEnded();
                    emit done();
                    return;
                }
            }
        }

        if (progressHidden_) {
            emit sigHideProgressBar();
        } else {
            const int percent = n * 100 / count;
            if (percent != 100)
                emit sigSetProgressBar(percent);
        }
        walk.unlock();
    }
    emit sigSetProgressBar(100);
    walkEnded();
    emit done();
}

QThread* ConfigParamLoader::start(ConfigParamLoader* loader, QObject* owner)
{
    Q_ASSERT(loader && owner && !loader->parent());
    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("CF2 ParamLoader Thread"));
    loader->moveToThread(thread);
    connect(thread, &QThread::started, loader, &ConfigParamLoader::paramLoaderThread, Qt::QueuedConnection);
    // Direct: the owner may be blocked waiting for this very thread.
    connect(loader, &ConfigParamLoader::done, thread, &QThread::quit, Qt::DirectConnection);
    QPointer<QThread> guard(thread);
    connect(thread, &QThread::finished, owner, [guard, loader] {
        if (!guard)
            return; // shutdown() has deleted both already
        guard->wait();
        delete loader;
        delete guard.data();
    }, Qt::QueuedConnection);
    thread->start();
    return thread;
}

bool ConfigParamLoader::shutdown(QPointer<ConfigParamLoader>& loader, int waitMs)
{
    if (!loader)
        return true;
    loader->stop();
    QThread* thread = loader->thread();
    if (thread == QThread::currentThread()) { // never started
        delete loader.data();
        loader = nullptr;
        return true;
    }
    if (!thread->wait(waitMs))
        return false;
    delete loader.data();
    loader = nullptr;
    delete thread;
    return true;
}
