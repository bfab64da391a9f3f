#include <QApplication>
#include <QDialog>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Quillon V%1").arg(6.4f, 0, 'f', 1));
    dialog.resize(720, 520);
    dialog.show();
    return app.exec();
}
