#include "ToshibaSCiBModuleConfig.h"

ToshibaSCiBModuleConfig::ToshibaSCiBModuleConfig() : QObject(nullptr) {}

void ToshibaSCiBModuleConfig::processSentence(const QString&) {}

void ToshibaSCiBModuleConfig::slotCanProcess() {}
