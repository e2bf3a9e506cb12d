#pragma once

#include <QObject>
#include <QString>

// Discovery of Toshiba SCiB battery modules over CAN. GUI thread.
class ToshibaSCiBModuleConfig : public QObject
{
    Q_OBJECT
public:
    ToshibaSCiBModuleConfig();

    // True while its discovery runs; only then does the pump pass it lines.
    bool isBusy() const { return m_busy; }
    void processSentence(const QString& line);

signals:
    void sigToshibSCiBModuleOperationStatus(int status, int operation);

public slots:
    void slotCanProcess();

protected:
    bool m_busy = false;
};
