// CAN Splitter set-up with a splitter that never answers a parameter.
#include "CanSplitterFailures.h"

#include <QLoggingCategory>

class TstCanSplitterSilentParam : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLoggingCategory::setFilterRules(QStringLiteral("bms.can.debug=false")); }
    void splitterFailures_data() { splitterFailureRows({SplitterFault::ParameterSilent}); }
    void splitterFailures() { checkSplitterFailure(); }
};

QTEST_MAIN(TstCanSplitterSilentParam)
#include "tst_cansplitter_silentparam.moc"
