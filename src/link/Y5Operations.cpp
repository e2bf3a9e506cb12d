// Named protocol operations: each builds one sentence and sends it.
#include "Y5ProtocolHandler.h"

void Y5ProtocolHandler::sendVersionRequest()
{
    sendSentence(QStringLiteral("VR1,"), QStringLiteral("?"), 20);
}

void Y5ProtocolHandler::sendReset(unsigned delayMs)
{
    sendSentence(QStringLiteral("RS1,"), QString(), delayMs);
}
