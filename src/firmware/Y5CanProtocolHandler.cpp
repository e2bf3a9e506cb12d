#include "Y5CanProtocolHandler.h"

Y5CanProtocolHandler::Y5CanProtocolHandler(QObject* owner) : QObject(nullptr), m_owner(owner) {}
