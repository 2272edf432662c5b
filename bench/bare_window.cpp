// The window start-up bench's peer: the least a Qt Widgets program does to show a window
// with a one-row list (application, one main window, one list view).
#include <QApplication>
#include <QMainWindow>
#include <QTreeWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("bare window"));
    auto* list = new QTreeWidget(&window);
    list->setHeaderLabels({QStringLiteral("Track"), QStringLiteral("Title")});
    list->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("01"), QStringLiteral("Track 1")}));
    window.setCentralWidget(list);
    window.resize(640, 480);
    window.show();
    return app.exec();
}
