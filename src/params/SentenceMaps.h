#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class Param;

// Routes a received sentence to the parameters registered for it. The maps
// keep pointers only; the pages own their parameters. Filled while the pages
// are built and not changed afterwards; used in the GUI thread.

// The parameters of one field of one sentence name, in registration order.
class CSntcCmdParamMap
{
public:
    CSntcCmdParamMap() = default;
    virtual ~CSntcCmdParamMap();
    CSntcCmdParamMap(const CSntcCmdParamMap&) = delete;
    CSntcCmdParamMap& operator=(const CSntcCmdParamMap&) = delete;

    void addHandler(Param* param);
    void dispatch(const QString& name, int fieldIndex, const QString& fieldText, const QStringList& fields) const;
    const QList<Param*>& handlers() const { return m_handlers; }

private:
    QList<Param*> m_handlers;
};

// Everything registered under one sentence name.
class CSntcCmdMap
{
public:
    CSntcCmdMap() = default;
    virtual ~CSntcCmdMap();
    CSntcCmdMap(const CSntcCmdMap&) = delete;
    CSntcCmdMap& operator=(const CSntcCmdMap&) = delete;

    // fieldIndex -1 registers for the whole sentence.
    void addHandler(int fieldIndex, Param* param);
    // rest: the text after the name's comma. Whole-sentence handlers first,
    // then each field's handlers in ascending field order.
    void dispatch(const QString& name, const QString& rest) const;

private:
    QList<Param*> m_wholeSentence;
    // Ordered, so fields are served in ascending order without sorting.
    QMap<int, CSntcCmdParamMap*> m_fields;
};

// The root map: sentence name (exact, case-sensitive) -> its handlers. Its
// names are also the status poll list.
class CSntcMap
{
public:
    CSntcMap() = default;
    virtual ~CSntcMap();
    CSntcMap(const CSntcMap&) = delete;
    CSntcMap& operator=(const CSntcMap&) = delete;

    void addHandler(const QString& name, int fieldIndex, Param* param);
    // One received sentence, without its check suffix. Unknown names are
    // dropped without a trace.
    void dispatch(const QString& sentence) const;

    // The registered names, in no defined order.
    QStringList sentenceNames() const { return m_names.keys(); }
    bool contains(const QString& name) const { return m_names.contains(name); }

private:
    QHash<QString, CSntcCmdMap*> m_names;
};
