#pragma once

// What a question or warning double does while "open": it holds its caller
// in a nested event loop until a short timer answers, as a real box does.
// Timers, received lines and queued signals keep arriving meanwhile, so a
// job that runs its next step behind its own box shows in the test.
#include <QEventLoop>
#include <QTimer>

namespace testkit {

// How long a double's box stays open before it is answered.
constexpr int kBoxOpenMs = 60;

inline void holdLikeABox(int ms = kBoxOpenMs)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::DialogExec);
}

} // namespace testkit
