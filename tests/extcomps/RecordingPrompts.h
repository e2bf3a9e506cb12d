#pragma once

#include "BluetoothModule.h"

#include <QStringList>

// Answers the Bluetooth page's boxes at once and keeps "title|text" of each.
struct RecordingPrompts : BluetoothPrompts
{
    QStringList warnings;
    QStringList questions;
    bool answer = true;

    void warning(const QString& title, const QString& text) override { warnings << title + '|' + text; }
    bool confirm(const QString& title, const QString& text) override
    {
        questions << title + '|' + text;
        return answer;
    }
};
