#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class FeatureSupportTable;

// The statistics store's rules that need no widget: which index ends a
// series, whether a captured series is whole, and which sentences write saved
// values back. Keys are whole "SS1"/"SS2" sentences as received.
namespace StatisticsLogic {

// The last "SS1" index the unit sends, by the firmware's features.
int lastSs1Index(const FeatureSupportTable& table, const QString& firmwareVersion);
inline constexpr int kLastSs2Index = 7;
// Statistics the automatic store never keeps: "BMS starts count" and
// "Charger disconnect count".
inline bool isSkippedInAutomaticStore(int index) { return index == 0x12 || index == 0x1E; }

// Field 1 of a whole sentence ("SS1,05,..." -> "05"); empty when missing.
QString indexField(const QString& sentence);
// Field 1 read as hexadecimal; -1 when it does not read.
int indexOf(const QString& sentence);

// Why a saved sentence cannot be written back (empty when it can): it must
// read "SS1,<ii>,<value>,<info>,<time>" (or "SS2", index 00 to 07), the
// index two upper-case hexadecimal digits as the unit sends it, the other
// fields hexadecimal (or empty).
QString savedSentenceProblem(const QString& sentence);

// True when keys hold a sentence of name for every index 0..last (the
// skipped ones excepted when skipAutomatic is set).
bool isCompleteSeries(const QStringList& keys, const QString& name, int last, bool skipAutomatic);

// What an import sends to write the saved values back: for each saved
// sentence (in key order, "SS1,32" first when both sides hold one) whose
// device sentence of the same name and index differs, the saved text with
// "SR1"/"SR2" for its name. With clearAdded, each device "SS1" statistic
// without a saved one and above the saved set's last "SS1" index (18 and 30
// excepted) is cleared with "SR1,<ii>,c". Each entry is a sentence name
// (with its fields) and the parameter text, as the page's send takes them.
using Sends = QList<QPair<QString, QString>>;
Sends restoreSentences(QStringList saved, QStringList device, bool clearAdded);

} // namespace StatisticsLogic
