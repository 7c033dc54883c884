// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for the live cost: a plain Qt Widgets program with one window
// and a 100 ms timer that does nothing. What the monitor costs beyond this is
// its own doing.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.resize(240, 320);
    window.show();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &window, []() {});
    timer.start(100);
    return QApplication::exec();
}
