// CAN Splitter set-up with a splitter that never answers the leave request.
#include "CanSplitterFailures.h"

#include <QLoggingCategory>

class TstCanSplitterSilentLeave : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void splitterFailures_data() { splitterFailureRows({SplitterFault::LeaveSilent}); }
    void splitterFailures() { checkSplitterFailure(); }
};

QTEST_MAIN(TstCanSplitterSilentLeave)
#include "tst_cansplitter_silentleave.moc"
