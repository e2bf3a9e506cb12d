#pragma once

// The ".bcf" configuration file: "BMSCFG", the unit's version line, then one
// "CF2,IIII,VVVV" line per parameter, an optional "SC1,XX" state of charge
// and optional "PW2,<password>" lines (level 2 first). Text, CR LF, Latin-1.
// No widgets here: the page decides what goes in and what is sent.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

namespace ConfigFile {

constexpr int kMaxLineLength = 1023; // a longer line is damaged

// The current-sensor calibration ids, written only on request.
bool isCalibrationId(int id);

// Hexadecimal digits a value of the id takes (2, 4 or 8, from bits 8-9 of
// the id); 0 for width code 3, which no parameter has.
int valueDigits(int id);

// "CF2,IIII,VV..": the value in the width bits 8-9 of the id give (2, 4 or
// 8 digits), cut to that width so that a byte the unit echoes as "FF" is
// written as "FF". Empty for width code 3 (never written).
QString paramLine(int id, quint32 value);
// The value cut to the id's width.
quint32 widthMasked(int id, quint32 value);

// Builds a whole file.
class Writer
{
public:
    explicit Writer(const QString& versionLine);
    void addParam(int id, quint32 value);
    void addStateOfCharge(int percent);
    // Both or nothing; level 2 first, as the load expects.
    void addPasswords(const QString& level2, const QString& level1);
    QByteArray bytes() const { return m_bytes; }

private:
    void addLine(const QString& line);
    QByteArray m_bytes;
};

// One line of a file that the load acts on.
struct Entry
{
    enum Kind { Param, StateOfCharge, Password };
    Kind kind = Param;
    int lineNumber = 0; // in the file, from 1
    QString line;       // as in the file, without its line end
    QString name;       // up to and including the first comma: "CF2,"
    QString parameters; // after it
    int id = -1;        // Param: the id
    QString valueText;  // Param: the value digits
};

// A line the load refuses, and why.
struct Problem
{
    int lineNumber = 0;
    QString text; // the line, shortened, control characters shown as "\xNN"
    QString reason;
};

struct Contents
{
    int lineCount = 0;     // every line read, the two header lines included
    QList<Entry> entries;  // in file order
    // Damaged lines, in file order; the first kMaxProblems are kept, all
    // are counted.
    QList<Problem> problems;
    int problemCount = 0;
    static constexpr int kMaxProblems = 50;
};

// Reads a file for the unit whose version line is connectedVersionLine.
// False when the file is not a configuration file of this hardware kind (no
// "BMSCFG" line, no version line, or one of another kind: the first nine
// characters differ). Otherwise every further line is checked, before the
// page sends anything: blank lines and lines starting with "#" are ignored;
// a line is kept only when it is a well-formed "CF2" line (four-digit id,
// value in exactly its id's width), "SC1" line (0 to 100 %) or "PW2" line,
// and no id or state of charge is given twice. Every other line is a
// problem: a damaged or crafted file cannot make the load send resets,
// factory defaults or mode changes, nor half of itself.
bool read(QIODevice* device, const QString& connectedVersionLine, Contents* contents);

// The problems as lines for a message: "line 5: CF2 0004 7B: <reason>",
// at most maxLines of them, then how many more there are.
QString describeProblems(const Contents& contents, int maxLines = 15);

} // namespace ConfigFile
