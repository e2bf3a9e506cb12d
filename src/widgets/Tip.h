#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

class QFrame;
class QGraphicsDropShadowEffect;
class QLabel;
class QTimer;

// A rich-text help bubble for any widget. The Tip itself is an invisible
// catcher laid over the target (it sees the target's enter, leave, press and
// release); the bubble is a separate top-level window with an arrow pointing
// at the target, built when it is first shown (or asked for).
//
// Placements: 0 left of the target, 1 above, 2 right, 3 below, 4 at the
// cursor without an arrow. When the bubble does not fit, the next placement
// is tried (1 -> 2 -> 0 ...) and the one that fitted is kept.
// Mode 1 deletes the tip when the catcher is hidden.
class Tip : public QWidget
{
    Q_OBJECT
public:
    Tip(QWidget* target, const QString& text, int placement, int showDelayMs, int lifeMs, int mode);
    ~Tip() override;

    void setText(const QString& text);
    QString text() const { return tipText; }
    void setPlacement(int placement);
    void setGap(int gap);
    void setPadding(int padding);
    void setRounded(bool rounded);
    void setBackgroundColor(const QColor& color);
    void setTipFont(const QFont& font);
    void setArrowVisible(bool visible);

    int placement() const { return tipPlacement; }
    bool isBubbleVisible() const;
    // The bubble window, built now if it was not yet.
    QWidget* bubble();
    // The arrow label shown with the bubble, or null for placement 4.
    QLabel* currentArrow() const { return arrow; }
    // Null while the bubble is not built.
    QLabel* arrowLabel(int placement) const;

    void updateArrow(const QColor& color);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void resizeWidgetMask();
    void stopTipWaitTimer();
    void stopTipLifeTimer();
    void stopShowAgainTimer();
    void stopUnstuckTimer();

private:
    void buildBubble();
    void hideBubble();
    bool cursorOnTarget() const;
    void positionBubble();
    QPoint cornerFor(int placement, const QPoint& cursor) const;
    void applyBodyStyle();

    QWidget* target;
    QString tipText;
    QFont tipFont;
    bool fontSet = false;
    QWidget* bubbleWindow = nullptr;
    QFrame* body = nullptr;
    QLabel* textLabel = nullptr;
    QWidget* cornerTopLeft = nullptr;
    QWidget* cornerTopRight = nullptr;
    QWidget* cornerBottomLeft = nullptr;
    QWidget* cornerBottomRight = nullptr;
    int tipPlacement;
    int gap = 3;
    int padding = 5;
    bool rounded = true;
    bool arrowVisible = true;
    QString backgroundColor = QStringLiteral("#ffffffff");
    QGraphicsDropShadowEffect* shadow = nullptr;
    bool textEmpty;
    int mode;
    QTimer* waitTimer;
    QTimer* lifeTimer;
    QTimer* showAgainTimer;
    QTimer* unstuckTimer;
    int showDelay;
    int lifeTime;
    QLabel* arrowTop = nullptr;
    QLabel* arrowBottom = nullptr;
    QLabel* arrowRight = nullptr;
    QLabel* arrowLeft = nullptr;
    QLabel* arrow = nullptr;
    int arrowDepth = 10;
    int arrowBase = 16;
};
