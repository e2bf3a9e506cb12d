#pragma once

#include <QString>

class QWidget;

// The width a line edit or spin box needs to show a text whole, measured with
// the font, frame, border and padding it is drawn with (style sheet included):
// a field narrower than that scrolls its first characters out of sight.
// 0 for any other widget.
int widthToShowWhole(QWidget* editor, const QString& text);
