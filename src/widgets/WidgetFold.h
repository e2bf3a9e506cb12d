#pragma once

#include <QWidget>

class QGridLayout;
class QGroupBox;
class QPushButton;
class QTimer;

// Wraps a group box and folds it up to its 20-pixel title strip and back with
// a short slide (32 pixels every 2 ms). A click on the arrow at the top right
// or anywhere on the title strip starts a slide; clicks during a slide are
// dropped. Created without a parent: add it to a layout where the group box
// would have gone.
class WidgetFold : public QWidget
{
    Q_OBJECT
public:
    explicit WidgetFold(QWidget* content);

    // The same as a click, for use from code.
    void fold() { processWidgetFolding(); }

    bool isFolded() const { return folded != 0; }
    bool isIdle() const { return idle; }
    QGroupBox* content() const { return contentBox; }
    QPushButton* arrowButton() const { return arrow; }
    QPushButton* titleButton() const { return titleStrip; }

    static QString arrowStyleSheet(int topMargin);
    static QString arrowPicture(int foldedFlag);

private slots:
    void processWidgetFolding();
    void updateSliding();

private:
    void finishSlide();

    QTimer* slideTimer;
    QGroupBox* contentBox;
    QPushButton* arrow;
    QPushButton* titleStrip;
    QGridLayout* layout;
    int folded = 0;
    int rememberedHeight = 0;
    bool idle = true;
};
