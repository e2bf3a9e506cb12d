// CAN Splitter set-up with a splitter that does not enter its configuration
// mode.
#include "CanSplitterFailures.h"

#include <QLoggingCategory>

class TstCanSplitterNoEnter : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void splitterFailures_data() { splitterFailureRows({SplitterFault::RefusesEnter}); }
    void splitterFailures() { checkSplitterFailure(); }
};

QTEST_MAIN(TstCanSplitterNoEnter)
#include "tst_cansplitter_noenter.moc"
