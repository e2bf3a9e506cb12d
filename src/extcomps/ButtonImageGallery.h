#pragma once

#include <QLabel>
#include <QObject>

#include <functional>
#include <vector>

// A label that reports a press, a release and a click (the release of a
// press that started on it, wherever the pointer is by then).
class ClickableLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ClickableLabel(const QString& text = QString(), QWidget* parent = nullptr,
                            Qt::WindowFlags flags = Qt::WindowFlags());
    ~ClickableLabel() override;

signals:
    void clicked();
    void pressed();
    void released();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// Items in the order they were made. The items belong to whatever widget
// their layout puts them on, not to the gallery.
template<class T>
class Gallery : public QObject
{
public:
    std::vector<T*> items;
};

// Picture items that brighten while the pointer is over them.
class ButtonImageGallery : public Gallery<ClickableLabel>
{
    Q_OBJECT
public:
    static constexpr qreal kRestingOpacity = 0.7;
    static constexpr int kItemWidth = 480;

    // One item showing the picture; the caption is the label's text, which
    // the picture covers. A non-empty action runs on every click.
    void createItem(const QString& picture, const QString& caption, const std::function<void()>& action);

    bool eventFilter(QObject* watched, QEvent* event) override;
};
