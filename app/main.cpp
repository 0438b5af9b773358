#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Korvalent");
    QMainWindow w;
    w.setWindowTitle("Korvalent");
    w.show();
    return app.exec();
}
