#pragma once

#include <QApplication>

// The offscreen platform plugin of Qt 5.15 does not free its screen and
// cursor when the application object goes away, which the leak checker would
// report for every widget test. The application therefore lives until the
// process ends.
inline QApplication* offscreenApp(int& argc, char** argv)
{
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

#define BMS_OFFSCREEN_TEST_MAIN(TestObject)                                                                            \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        offscreenApp(argc, argv);                                                                                      \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
