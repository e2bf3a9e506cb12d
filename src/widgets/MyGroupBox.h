#pragma once

#include <QGroupBox>

// The titled frame around a group of values. It leaves mouse presses to its
// parent (so a WidgetFold or page under it sees them) instead of handling them.
class MyGroupBox : public QGroupBox
{
    Q_OBJECT
public:
    explicit MyGroupBox(const QString& title, QWidget* parent = nullptr);

public slots:
    bool event(QEvent* e) override;
};
