#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>

// The fixed rules of start-up and link status, as pure functions.

inline constexpr const char* kOrganisationName = "KEPO";
inline constexpr const char* kOrganisationDomain = "example.com";
inline constexpr const char* kApplicationName = "KEPO BMS Dadevoz Arezi";
inline constexpr const char* kVersionNumber = "v2.11.0";
inline constexpr const char* kApplicationVersion = "KEPO BMS Dadevoz Arezi v2.11.0";

// Side-list order of the pages; also the picture names ":/images/<id>.png".
extern const char* const pageIds[5];

// Language of the user texts; always "en_US" at start.
extern QString g_language;

// The two parts the last "-uri" value was split into; nothing reads them.
extern QString g_uriFirst;
extern QString g_uriSecond;

// The splash: height min(W, H) / 2.25 (cut to an integer), square, centred.
QRect splashGeometry(const QSize& screen);

// The first show of the window: the size its content needs (menu bar
// included), within the screen less 40 by 60, centred in that smaller area.
QRect fitWindowGeometry(const QSize& needed, const QSize& screen);

// Walks every argument (the program path included): "-m" sets factory mode,
// "-uri" followed by a value passes the value to parseUri.
void parseCommandLine(const QStringList& arguments);

// A value with one ":" keeps both sides, with two the second and third
// parts; without ":" the debug text "Wrong uri string".
void parseUri(const QString& text);

// The port as the title shows it: the entry's text before " - ".
QString titlePortText(const QString& portName);

// "VR1" serial field (hexadecimal) as an unsigned number; 0 when unreadable.
uint32_t serialFromHex(const QString& field);

// The title texts without the application name.
QString connectingTitle(int dots);
QString bootloaderTitle(const QString& portText);
QString linkedTitle(const QString& portText, const QString& serialHex, const QString& version);
// T + " - " + the application name.
QString windowTitleFor(const QString& linkText);

// Charging after a "CS" line: "CS1" sets it to (field 1 == "01"); "CS2",
// "CS3" and "CS4" only set it on "01"; other lines leave it.
bool chargingAfterCsLine(const QString& line, bool charging);

// The style sheet: the bytes up to the first NUL as UTF-8; false when the
// file cannot be opened.
bool readStyleSheet(const QString& path, QString* styleSheet);
