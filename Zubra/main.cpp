// Program entry. For now it only brings up the application object.

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    return 0;
}
