#pragma once

#include <QHash>
#include <QWidget>

class QGridLayout;
class QRadioButton;

// Mutually exclusive options, each known by an index the caller chooses.
// indexChanged reports the option the user clicked; setIndex is silent.
class myRadioBox : public QWidget
{
    Q_OBJECT
public:
    explicit myRadioBox(QWidget* parent = nullptr);

    // A negative row or column places the option in column 0 under the
    // previously auto-placed one.
    void addOption(const QString& text, int index, int row = -1, int column = -1);
    void setIndex(int index);
    int currentIndex() const { return current; }
    bool isChecked(int index) const;
    QRadioButton* option(int index) const { return options.value(index); }

signals:
    void indexChanged(int index);

private:
    void optionClicked(int index);

    int nextRow = 0;
    int autoColumn = 0;
    QHash<int, QRadioButton*> options;
    QGridLayout* grid;
    int current = -1;
};
