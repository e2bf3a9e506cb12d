#pragma once

#include <QString>

class QWidget;

// The message boxes and the number prompt of the profile editors, behind one
// seam so that tests answer them instead of a person. The default shows real
// modal boxes.
class ProfileDialogs
{
public:
    virtual ~ProfileDialogs() = default;

    // A warning with one Ok button.
    virtual void warning(QWidget* parent, const QString& title, const QString& text);
    // Yes and No, no default button; true for Yes.
    virtual bool question(QWidget* parent, const QString& title, const QString& text);
    // An integer prompt; false when cancelled.
    virtual bool getInt(QWidget* parent, const QString& title, const QString& label, int value, int minimum,
                        int maximum, int step, int* result);

    // The shared real-box instance.
    static ProfileDialogs* standard();
};
