#include "EditorFit.h"

#include <QAbstractSpinBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QStyleOptionSpinBox>

#include <algorithm>

namespace {

// Any width will do to measure what frame and padding take: they do not grow with it.
constexpr int kTrialWidth = 1000;
// QLineEdit keeps this much room on each side of its text.
constexpr int kLineEditMargin = 2;

// Width minus the text rectangle that QLineEdit paints in.
int lineEditOverhead(QLineEdit* edit)
{
    QStyleOptionFrame opt;
    opt.initFrom(edit);
    opt.rect = QRect(0, 0, kTrialWidth, edit->sizeHint().height());
    opt.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit) : 0;
    opt.midLineWidth = 0;
    opt.state |= QStyle::State_Sunken;
    if (edit->isReadOnly())
        opt.state |= QStyle::State_ReadOnly;
    const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &opt, edit);
    const QMargins text = edit->textMargins();
    return kTrialWidth - contents.width() + text.left() + text.right() + 2 * kLineEditMargin;
}

// Width minus the room a spin box gives its line edit.
int spinBoxOverhead(QAbstractSpinBox* spin)
{
    QStyleOptionSpinBox opt;
    opt.initFrom(spin);
    opt.rect = QRect(0, 0, kTrialWidth, spin->sizeHint().height());
    opt.frame = spin->hasFrame();
    opt.buttonSymbols = spin->buttonSymbols();
    opt.subControls = QStyle::SC_SpinBoxEditField;
    if (opt.buttonSymbols != QAbstractSpinBox::NoButtons)
        opt.subControls |= QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    if (opt.frame)
        opt.subControls |= QStyle::SC_SpinBoxFrame;
    opt.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    const QRect field = spin->style()->subControlRect(QStyle::CC_SpinBox, &opt, QStyle::SC_SpinBoxEditField, spin);
    return kTrialWidth - field.width();
}

// What the text itself takes in the edit's font, as QLineEdit counts it
// before it starts to scroll (one pixel for the cursor, and the bearings).
int textWidth(const QLineEdit* edit, const QString& text)
{
    const QFontMetrics fm = edit->fontMetrics();
    return fm.horizontalAdvance(text) + 1 + std::max(0, -fm.minLeftBearing()) + std::max(0, -fm.minRightBearing());
}

} // namespace

int widthToShowWhole(QWidget* editor, const QString& text)
{
    if (!editor)
        return 0;
    editor->ensurePolished();
    if (auto* edit = qobject_cast<QLineEdit*>(editor))
        return textWidth(edit, text) + lineEditOverhead(edit);
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(editor)) {
        auto* edit = spin->findChild<QLineEdit*>();
        if (!edit)
            return 0;
        edit->ensurePolished();
        return textWidth(edit, text) + lineEditOverhead(edit) + spinBoxOverhead(spin);
    }
    return 0;
}
