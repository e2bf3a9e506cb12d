#pragma once

#include "CISAConfig.h"
#include "CurrentSensorActions.h"

#include <QPointer>

// The configuration page's view of the one IVT-S sensor service; a service
// gone first (the window ends it before its pages) does nothing.
class IsaSensorService : public CurrentSensorService
{
public:
    explicit IsaSensorService(CISAConfig* isa) : m_isa(isa) {}
    void startDiscover(quint8 steps) override { with([=](CISAConfig& s) { s.startDiscover(steps); }); }
    void startCommit(quint8 steps) override { with([=](CISAConfig& s) { s.startCommit(steps); }); }
    quint16 baseCanId() const override { return m_isa ? m_isa->baseCanId() : 0; }
    void setBaseCanId(quint16 id) override { with([=](CISAConfig& s) { s.setBaseCanId(id); }); }
    void setSensorSerial(quint32 serial) override { with([=](CISAConfig& s) { s.setSensorSerial(serial); }); }
    void setPendingChange() override { with([](CISAConfig& s) { s.setPendingChange(true); }); }
    void setVerify(bool on) override { with([=](CISAConfig& s) { s.setVerify(on); }); }
    void discardFoundSensor() override { with([](CISAConfig& s) { s.discardFoundSensor(); }); }
    bool isBusy() const override { return m_isa && m_isa->isBusy(); }
    void setBitRateCode(quint8 code) override { with([=](CISAConfig& s) { s.setBitRateCode(code); }); }

private:
    template <typename F>
    void with(F f)
    {
        if (m_isa)
            f(*m_isa);
    }
    QPointer<CISAConfig> m_isa;
};

// Joins the sensor service and the page's current sensor actions both ways:
// found serials, the sensor's CAN id, warnings and the job status go to the
// actions, and the actions' buttons start the service's jobs. The window
// calls it once both exist.
inline void joinCurrentSensor(CISAConfig* isa, CurrentSensorActions* actions)
{
    if (!isa || !actions)
        return;
    actions->setService(std::make_unique<IsaSensorService>(isa));
    const QPointer<CurrentSensorActions> to(actions);
    isa->setSensorFoundHandler([to](quint32 serial) {
        if (to)
            to->showSensorFound(serial);
    });
    isa->setCanIdHandler([to](quint16 id) {
        if (to)
            to->setCurrentSensorCanId(id);
    });
    isa->setWarningHandler([to](const QString& text) {
        if (to)
            to->showServiceWarning(text);
    });
    QObject::connect(isa, &CISAConfig::sigCanDeviceOperationStatus, actions,
                     &CurrentSensorActions::slotOperationStatus);
}
