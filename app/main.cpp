#include <QApplication>

#include "app/CQuillonApp.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    CQuillonApp app;
    app.InitInstance();
    return 0;
}
