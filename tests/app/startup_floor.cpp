// The floor for the start-up benchmark: about the least a Qt Widgets program
// does before its main window is on screen (a menu bar and a tab widget).
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QTabWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    QMenu* options = window.menuBar()->addMenu(QStringLiteral("Options"));
    options->addAction(QStringLiteral("Write Log"));
    window.menuBar()->addMenu(QStringLiteral("Help"))->addAction(QStringLiteral("About"));
    auto* tabs = new QTabWidget;
    tabs->addTab(new QLabel(QStringLiteral("Status")), QStringLiteral("Status"));
    tabs->addTab(new QLabel(QStringLiteral("Configuration")), QStringLiteral("Configuration"));
    window.setCentralWidget(tabs);
    window.setWindowTitle(QStringLiteral("floor"));
    window.resize(800, 600);
    window.show();
    return app.exec();
}
