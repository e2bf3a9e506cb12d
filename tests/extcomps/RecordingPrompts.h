#pragma once

#include "BluetoothModule.h"
#include "HeldBox.h"

#include <QStringList>

// Answers the Bluetooth page's boxes, each after holding its caller like a
// real box, and keeps "title|text" of each.
struct RecordingPrompts : BluetoothPrompts
{
    QStringList warnings;
    QStringList questions;
    bool answer = true;

    void warning(const QString& title, const QString& text) override
    {
        testkit::holdLikeABox();
        warnings << title + '|' + text;
    }
    bool confirm(const QString& title, const QString& text) override
    {
        testkit::holdLikeABox();
        questions << title + '|' + text;
        return answer;
    }
};
