#include "UserQuestion.h"

#include <QCoreApplication>

#include <chrono>
#include <thread>

QString obsoleteFirmwareQuestionText()
{
    return QCoreApplication::translate(
        "StatusPage",
        "Firmware version of the connected Kepo BMS Control Unit is obsolete and no longer supported,and needs "
        "to be updated. Do you wish to put the connected Kepo BMS Control Unit into bootloader mode? (Pressing "
        "\"No\" will terminate Kepo BMS Dadevoz Arezi)");
}

bool waitForUserAnswer(const std::function<bool()>& answered, const std::function<bool()>& stop)
{
    for (;;) {
        if (answered())
            return true;
        if (stop())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
