#include "canConfig.h"

canConfig::canConfig() : QObject(nullptr) {}

void canConfig::processSentence(const QString&) {}

void canConfig::slotCanProcess() {}
