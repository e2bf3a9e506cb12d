#include "ScibModuleSim.h"

#include "ControlUnitSim.h"

#include <QStringList>

void ScibModuleSim::install(ControlUnitSim& unit)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        unit_ = &unit;
    }
    unit.setHandler(QStringLiteral("CN1"),
                    [this](ControlUnitSim& u, const ControlUnitSim::Sentence& s) { onFrame(u, s.fields); });
}

void ScibModuleSim::uninstall()
{
    ControlUnitSim* unit = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        unit = unit_;
        unit_ = nullptr;
    }
    if (unit)
        unit->setHandler(QStringLiteral("CN1"), nullptr);
}

void ScibModuleSim::setModule(int number, const Module& module)
{
    std::lock_guard<std::mutex> lock(mutex_);
    modules_[number] = module;
}

void ScibModuleSim::removeModule(int number)
{
    std::lock_guard<std::mutex> lock(mutex_);
    modules_.remove(number);
}

QList<int> ScibModuleSim::polls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return polls_;
}

int ScibModuleSim::pollCount(int number) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return polls_.count(number);
}

// "CN1,<id hex>,<ext>,0,<length>,<data hex>" as the tool sends it.
void ScibModuleSim::onFrame(ControlUnitSim& unit, const QStringList& fields)
{
    if (fields.size() < 4)
        return;
    bool ok = false;
    const quint32 id = fields.at(0).toUInt(&ok, 16);
    if (!ok || fields.at(1) != QLatin1String("0") || fields.at(3) != QLatin1String("0"))
        return;
    const bool poll = id >= 0x514 && id <= 0x704 && (id & 0xF) == 4;
    const int number = poll ? int((id - 0x504) / 0x10) : 0;
    Module m;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        polls_ << number;
        if (!poll || !modules_.contains(number))
            return;
        m = modules_.value(number);
    }
    // Frames reach the bus only while the unit is in its configuration mode.
    if (m.silent || !unit.configMode())
        return;
    const quint32 replyId = id + (m.altReplyId ? 8 : 0);
    auto answer = [&](int cells) {
        QByteArray data(8, char(0xAA));
        data[0] = char(number);
        data[1] = char(0x01);
        if (cells != 9)
            data.replace(2, 6, QByteArray::fromHex("0C0000000000"));
        data.truncate(qBound(0, m.dataBytes, 8));
        unit.reply(QStringLiteral("CN1,%1,0,0,%2,%3")
                       .arg(replyId, 8, 16, QLatin1Char('0'))
                       .arg(data.size())
                       .arg(QString::fromLatin1(data.toHex()))
                       .toUpper());
    };
    answer(m.cells);
    for (int i = 0; i < m.extraReplies; ++i)
        answer(12);
}
