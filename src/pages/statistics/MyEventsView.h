#pragma once

#include "ViewSinks.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTreeView>
#include <QVector>

class QStandardItemModel;

// The event log of the control unit, one row per log entry ("LG1" replies),
// with a plain-text copy of every row for the clipboard. GUI thread.
class MyEventsView : public QTreeView, public EventsViewSink
{
    Q_OBJECT
public:
    struct EventCodeEntry
    {
        QString text;
        int infoKind = 0; // 0 none, 1 last charge energy, 2 last discharge energy
    };
    static constexpr int kEventCodeCount = 65;
    // Highest log index taken. One damaged reply could otherwise ask for
    // billions of rows; no unit keeps a log near this size.
    static constexpr int kMaxLogIndex = 0xFFFF;

    explicit MyEventsView(QWidget* parent = nullptr);

    // One "LG1" reply: the text after "LG1,". An empty text empties the view.
    void updateEvents(const QString& reply) override;
    QString eventInfoText(int code, const QString& parameter) const;
    void addEventRow(QStandardItemModel* model, int index, const QDateTime& dateTime, const QString& eventText,
                     const QString& info);
    void clearEvents();
    // Rows added later use the new text; rows shown keep theirs.
    void setEventText(int code, const QString& text);
    QString eventText(int code) const;
    // The kept row texts in index order; each ends in a line feed.
    QString allText() const;

    QStandardItemModel* eventModel() const { return m_model; }
    const QStringList& keptRowTexts() const { return m_rowTexts; }

private:
    QVector<EventCodeEntry> m_codes;
    QStandardItemModel* m_model = nullptr;
    QStringList m_rowTexts;
};
