#include "myRadioBox.h"

#include <QGridLayout>
#include <QRadioButton>

myRadioBox::myRadioBox(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(2);
    nextRow = 0;
    autoColumn = 0;
}

void myRadioBox::addOption(const QString& text, int index, int row, int column)
{
    auto* button = new QRadioButton(text);
    button->setChecked(false);
    button->setAutoExclusive(true);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setAutoFillBackground(false);
    button->setBackgroundRole(QPalette::Window);
    connect(button, &QRadioButton::clicked, this, [this, index] { optionClicked(index); });
    if (row < 0 || column < 0) {
        row = nextRow++;
        column = autoColumn;
    }
    grid->addWidget(button, row, column);
    options.insert(index, button);
}

void myRadioBox::optionClicked(int index)
{
    setFocus(Qt::OtherFocusReason);
    current = index;
    emit indexChanged(index);
}

void myRadioBox::setIndex(int index)
{
    QRadioButton* button = options.value(index);
    if (!button)
        return;
    button->setChecked(true);
    current = index;
}

bool myRadioBox::isChecked(int index) const
{
    const QRadioButton* button = options.value(index);
    return button && button->isChecked();
}
