// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program: builds the application object and the main window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow w;
    w.show();
    return app.exec();
}
