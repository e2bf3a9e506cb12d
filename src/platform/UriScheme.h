#pragma once

#include <QString>
#include <QStringList>

// The URL scheme the program registers itself for, for the current user.
inline constexpr const char* kUriScheme = "rmskepo";

// Registers the program as the handler of the scheme: on Windows the three
// registry commands, elsewhere a desktop entry for x-scheme-handler/rmskepo
// in the user's applications folder. Failures are ignored: the scheme is a
// convenience, the program works without it.
void registerUriScheme(const QString& programPath);

// The registry commands as Windows runs them (exposed for tests).
QStringList uriSchemeRegistryCommands(const QString& programPath);

// The desktop entry text written on Linux (exposed for tests).
QString uriSchemeDesktopEntry(const QString& programPath);

// The file name of that desktop entry in the applications folder.
inline constexpr const char* kUriSchemeDesktopFile = "kepo-bms-rmskepo.desktop";
