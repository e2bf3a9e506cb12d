#pragma once

#include <QWidget>

// A page of a myTabWidget. When it has been undocked into a window of its own,
// closing that window asks the tab widget to dock it back.
class SignalWindowTab : public QWidget
{
    Q_OBJECT
public:
    explicit SignalWindowTab(QWidget* parent = nullptr);

signals:
    void attachTab(bool attach, QString title);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
};
