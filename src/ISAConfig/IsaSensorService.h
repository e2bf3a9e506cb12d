#pragma once

#include "CISAConfig.h"
#include "CurrentSensorActions.h"

// The configuration page's view of the one IVT-S sensor service.
class IsaSensorService : public CurrentSensorService
{
public:
    explicit IsaSensorService(CISAConfig* isa) : m_isa(isa) {}
    void startDiscover(quint8 steps) override { m_isa->startDiscover(steps); }
    void startCommit(quint8 steps) override { m_isa->startCommit(steps); }
    void setBaseCanId(quint16 id) override { m_isa->setBaseCanId(id); }
    void setVerify(bool on) override { m_isa->setVerify(on); }
    void discardFoundSensor() override { m_isa->discardFoundSensor(); }
    bool isBusy() const override { return m_isa->isBusy(); }

private:
    CISAConfig* m_isa;
};

// Joins the sensor service and the page's current sensor actions both ways:
// found serials, the sensor's CAN id and the job status go to the actions,
// the actions' buttons start the service's jobs, and warnings are shown by
// the page's warning box runner (warn).
inline void joinCurrentSensor(CISAConfig* isa, CurrentSensorActions* actions, IsaSensorService* service,
                              std::function<void(const QString&)> warn)
{
    actions->setService(service);
    isa->setSensorFoundHandler([actions](quint32 serial) { actions->showSensorFound(serial); });
    isa->setCanIdHandler([actions](quint16 id) { actions->setCurrentSensorCanId(id); });
    if (warn)
        isa->setWarningHandler(std::move(warn));
    QObject::connect(isa, &CISAConfig::sigCanDeviceOperationStatus, actions,
                     &CurrentSensorActions::slotOperationStatus);
}
