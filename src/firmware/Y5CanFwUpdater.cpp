#include "Y5CanFwUpdater.h"

Y5CanFwUpdater::Y5CanFwUpdater(QObject* owner) : QObject(nullptr), m_owner(owner) {}

void Y5CanFwUpdater::process() {}
