#include "SentenceMaps.h"

#include "Param.h"

CSntcCmdParamMap::~CSntcCmdParamMap() = default;

void CSntcCmdParamMap::addHandler(Param* param) { m_handlers.append(param); }

void CSntcCmdParamMap::dispatch(const QString& name, int fieldIndex, const QString& fieldText,
                                const QStringList& fields) const
{
    for (Param* param : m_handlers)
        param->updateValue(name, fieldIndex, fieldText, fields);
}

CSntcCmdMap::~CSntcCmdMap() { qDeleteAll(m_fields); }

void CSntcCmdMap::addHandler(int fieldIndex, Param* param)
{
    if (fieldIndex == -1) {
        m_wholeSentence.append(param);
        return;
    }
    CSntcCmdParamMap*& map = m_fields[fieldIndex];
    if (!map)
        map = new CSntcCmdParamMap;
    map->addHandler(param);
}

void CSntcCmdMap::dispatch(const QString& name, const QString& rest) const
{
    // [name, field 0, field 1, ...]; an empty rest is one empty field 0.
    QStringList fields;
    fields.reserve(rest.count(QLatin1Char(',')) + 2);
    fields.append(name);
    int start = 0;
    for (;;) {
        const int comma = rest.indexOf(QLatin1Char(','), start);
        if (comma < 0) {
            fields.append(rest.mid(start));
            break;
        }
        fields.append(rest.mid(start, comma - start));
        start = comma + 1;
    }

    for (Param* param : m_wholeSentence)
        param->updateValue(name, -1, rest, fields);

    const int fieldCount = fields.size() - 1;
    // Indices below 0 are kept but no sentence reaches them.
    for (auto it = m_fields.lowerBound(0); it != m_fields.cend() && it.key() < fieldCount; ++it)
        it.value()->dispatch(name, it.key(), fields.at(it.key() + 1), fields);
}

CSntcMap::~CSntcMap() { qDeleteAll(m_names); }

void CSntcMap::addHandler(const QString& name, int fieldIndex, Param* param)
{
    CSntcCmdMap*& map = m_names[name];
    if (!map)
        map = new CSntcCmdMap;
    map->addHandler(fieldIndex, param);
}

void CSntcMap::dispatch(const QString& sentence) const
{
    const int comma = sentence.indexOf(QLatin1Char(','));
    const QString name = comma < 0 ? sentence : sentence.left(comma);
    const auto it = m_names.constFind(name);
    if (it == m_names.cend())
        return;
    it.value()->dispatch(name, comma < 0 ? QString() : sentence.mid(comma + 1));
}
