#pragma once

#include <QString>

#include <functional>

// The process-wide log entry point. The application installs the sink that
// writes the log file; tests install one that captures. Safe from any thread:
// the sink is called under a lock, one message at a time.
using LogSink = std::function<void(const QString& text, int level)>;

void setLogSink(LogSink sink);

// Logs one message. A trailing carriage return is dropped, and a sentence
// beginning "PW1" or "PW2" (sent "<-PW1...", rejected "x>PW1...<x" or
// received) is written as "PW1,****" / "PW2,****": passwords never reach a log.
void logMessage(const QString& text, int level);

// The masking step of logMessage, exposed for the log writer and tests.
QString maskSecrets(const QString& text);
