// CAN Splitter set-up failures that come without a wait for a reply: no
// splitter behind the unit, or one that refuses to leave its configuration
// mode.
#include "CanSplitterFailures.h"

#include <QLoggingCategory>

class TstCanSplitterFailures : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void splitterFailures_data() { splitterFailureRows({SplitterFault::NoSplitter, SplitterFault::LeaveRefused}); }
    void splitterFailures() { checkSplitterFailure(); }
};

QTEST_MAIN(TstCanSplitterFailures)
#include "tst_cansplitter_failures.moc"
