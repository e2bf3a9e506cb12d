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

constexpr int kMaxLineLength = 1023; // longer lines read as several

// The current-sensor calibration ids, written only on request.
bool isCalibrationId(int id);

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
    QString line;       // as in the file, without its line end
    QString name;       // up to and including the first comma: "CF2,"
    QString parameters; // after it
    int id = -1;        // Param: the id
    QString valueText;  // Param: the value digits
};

struct Contents
{
    int lineCount = 0;        // every line read, the two header lines included
    QList<Entry> entries;     // in file order
    QStringList rejected;     // lines that look like sentences but are not one the file may carry
};

// Reads a file for the unit whose version line is connectedVersionLine.
// False when the file is not a configuration file of this
// hardware kind (no "BMSCFG" line, no version line, or one of another kind:
// the first nine characters differ). Blank and comment lines are ignored;
// only well-formed "CF2", "SC1" and "PW2" lines are kept, so a damaged or
// crafted file cannot make the load send resets, factory defaults or mode
// changes.
bool read(QIODevice* device, const QString& connectedVersionLine, Contents* contents);

} // namespace ConfigFile
