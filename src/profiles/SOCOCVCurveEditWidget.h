#pragma once

#include <QMap>
#include <QWidget>

#include <functional>

class ProfileDialogs;
class QCPGraph;
class ToolTipPlot;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

// The window in which the reference curve of a cell's open-circuit voltage
// over its state of charge is edited: a table of points beside a plot of the
// given and the modified curve. Every edited cell is checked against the
// curve's rules; accepted points go into the modified map, which "Commit
// Changes" hands to the owner's callback. Knows nothing of the unit.
class SOCOCVCurveEditWidget : public QWidget
{
    Q_OBJECT
public:
    using PointMap = QMap<int, double>; // SOC (%) -> OCV (V)
    using CommitCallback = std::function<void(const PointMap&)>;

    static constexpr int kSlots = 32;
    static constexpr double kLowestOcv = 2.0;
    static constexpr double kHighestOcv = 4.55;

    SOCOCVCurveEditWidget(int maxPoints, CommitCallback commit);
    ~SOCOCVCurveEditWidget() override;

    void setMaxPoints(int count);
    int maxPoints() const { return m_maxPoints; }
    // Makes the map the given and the modified points and shows them.
    void setPoints(const PointMap& points);
    int pointCount() const { return m_modified.size(); }
    const PointMap& modifiedPoints() const { return m_modified; }
    const PointMap& givenPoints() const { return m_given; }
    const PointMap& defaultPoints() const { return m_defaults; }
    bool isModified() const { return m_modifiedFlag; }

    // The message boxes go here; null: real boxes.
    void setDialogs(ProfileDialogs* dialogs);

    QTableWidget* table() const { return m_table; }
    ToolTipPlot* plot() const { return m_plot; }
    QPushButton* insertButton() const { return m_insert; }
    QPushButton* removeButton() const { return m_remove; }
    // Curve 1, the modified curve; null until the first modification.
    QCPGraph* modifiedCurve() const { return m_modifiedCurve; }

public slots:
    void insertPoint();
    void removeSelectedPoints();
    void resetPoints();
    void resetToDefaults();
    void commitChanges();
    void onItemChanged(QTableWidgetItem* item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillTable(const PointMap& points);
    void plotPoints(const PointMap& points, int curve);
    void ensureModifiedCurve();
    void removeModifiedCurve();
    void updateInsertEnabled();
    void sortByOcv();
    // The cell refused: back to what the row held (empty for a new point),
    // its editor opened again.
    void reopenCell(QTableWidgetItem* item, const QString& text);
    void socEdited(QTableWidgetItem* item, int storedSoc);
    void ocvEdited(QTableWidgetItem* item, int storedSoc);
    // Checks the row's OCV at the row's SOC against the neighbouring points
    // and stores it, replacing the stored point; false (after the warning)
    // when it does not fit, with nothing changed.
    bool ocvAccepted(QTableWidgetItem* item, int storedSoc);
    void tagRow(int row, const QVariant& soc);
    QString cellText(int row, int column) const;

    PointMap m_given;
    PointMap m_modified;
    PointMap m_defaults;
    int m_maxPoints = kSlots;
    bool m_modifiedFlag = false;
    bool m_loading = false;
    static constexpr int kRowHeight = 16;
    CommitCallback m_commit;
    ProfileDialogs* m_dialogs;

    ToolTipPlot* m_plot = nullptr;
    QCPGraph* m_givenCurve = nullptr;
    QCPGraph* m_modifiedCurve = nullptr;
    QTableWidget* m_table = nullptr;
    QPushButton* m_insert = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_resetDefaults = nullptr;
    QPushButton* m_commitButton = nullptr;
};
