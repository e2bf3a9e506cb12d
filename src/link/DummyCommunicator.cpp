#include "DummyCommunicator.h"

#include <chrono>
#include <thread>

DummyCommunicator::DummyCommunicator() = default;

DummyCommunicator::~DummyCommunicator() = default;

void DummyCommunicator::run()
{
    // Nothing to do but notice the stop; a short sleep keeps the check
    // prompt without holding a core.
    while (!stopRequested_)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    emit done();
}
