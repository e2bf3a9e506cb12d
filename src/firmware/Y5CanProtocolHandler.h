#pragma once

#include <QObject>

// Steps of the CAN devices' bootloaders, sent through the control unit.
// `owner` is the transport it works through; it is not a Qt parent.
class Y5CanProtocolHandler : public QObject
{
    Q_OBJECT
public:
    explicit Y5CanProtocolHandler(QObject* owner);
    QObject* owner() const { return m_owner; }

private:
    QObject* m_owner;
};
