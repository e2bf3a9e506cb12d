#include "CISAConfig.h"

CISAConfig* g_cisaConfig = nullptr;

CISAConfig::CISAConfig() : QObject(nullptr) {}

void CISAConfig::handleCanReply(const QString&) {}

void CISAConfig::slotCanProcess() {}
