#pragma once

#include "FirmwareImage.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

// A message for the user; `translated` says whether it passes through the
// page's translation table.
struct ImageFileMessage
{
    QString text;
    bool translated = false;
    QString argument; // fills "%1" after the translation; null: none

    ImageFileMessage() = default;
    ImageFileMessage(const QString& t, bool tr, const QString& arg = QString())
        : text(t), translated(tr), argument(arg)
    {
    }

    bool operator==(const ImageFileMessage& o) const
    {
        return text == o.text && translated == o.translated && argument == o.argument;
    }
    // The text with its argument, untranslated.
    QString plainText() const { return argument.isNull() ? text : text.arg(argument); }
};

// What opening a control-unit image gives the Update page: the "New
// Firmware" values and the bytes the serial updater sends. On failure every
// value is empty and `message` says why.
struct ControlUnitImageFile
{
    bool ok = false;
    bool sha1 = false;           // SHA-1 image (else legacy frames)
    QString versionValue;        // "Version:" ("v" + text for a SHA-1 image)
    QString versionText;         // the image's own version, without "v"
    bool showReleaseDate = false;
    QString releaseDateValue;    // "%04d.%02d.%02d"
    QString serialValue;         // "For device SN:": decimal or "Any"
    QByteArray image;            // SHA-1: the whole file; legacy: frames 4 on, binary
    ImageFileMessage message;
};

// Opens a control-unit image. deviceKind is the kind the protocol handler
// recorded from the unit's "VR1" reply, unitSerial the connected unit's
// serial number. The device is read from its start.
ControlUnitImageFile readControlUnitImage(QIODevice& file, const QString& deviceKind, quint32 unitSerial);

// What opening a CAN-device image gives the Update page.
struct CanImageFile
{
    enum Outcome {
        Loaded,    // values and image replace the page's
        Refused,   // a record line was refused: values replace the page's, not marked loaded
        Unchanged, // nothing recognised: the page keeps what it had
    };
    Outcome outcome = Unchanged;
    bool recordImage = false;      // record file (else SHA-1 image)
    quint16 productCode = 0;       // the page's product code
    quint32 descriptionCode = 0;   // what the target device's description is looked up by
    bool targetKnown = false;      // false: "Target device:" is emptied
    QString versionValue;
    bool showReleaseDate = false;
    QString releaseDateValue;
    QByteArray image;              // records concatenated, or the whole SHA-1 file
    QList<ImageFileMessage> messages; // in order, one per refused line

    bool ok() const { return outcome == Loaded; }
};

// Opens a CAN-device image: a record file ("$" header line of at most 14
// characters, then Intel HEX record lines) or a SHA-1 image.
CanImageFile readCanImage(QIODevice& file);

// The texts of the messages, as the page shows them.
namespace ImageFileText {
extern const char* const kCouldNotOpen;       // "Could not open the file!"
extern const char* const kNotY55;             // "The firmware is for Control Unit Y5.5!"
extern const char* const kY55Serial;          // "... with serial number %1 !"
extern const char* const kBadFormat;          // "Bad file format!"
extern const char* const kDifferentDevice;    // "The firmware is for different device!"
extern const char* const kBadRecordLine;      // "No ':' entry found, or too short entry, wrong file?"
extern const char* const kWrongFile;          // "Wrong file specified!"
extern const char* const kNoFirmware;         // "The file holds no firmware!"
extern const char* const kBadHexRecord;       // "Line %1 is not a valid Intel HEX record!"
extern const char* const kRecordAfterEnd;     // "Line %1 comes after the end-of-file record!"
extern const char* const kNoEndRecord;        // "The file has no end-of-file record!"
extern const char* const kRecordsForCanopenDevice; // record file, product code above 15
extern const char* const kImageForRouteDevice;     // SHA-1 image, product code up to 15
} // namespace ImageFileText
