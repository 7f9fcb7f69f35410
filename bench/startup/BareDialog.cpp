// The reference for scripts/bench-startup.sh: the least a Qt 5 Widgets program
// does to show a sign-in dialog of two fields.

#include <QApplication>
#include <QDialog>
#include <QFormLayout>
#include <QLineEdit>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("BareDialog"));
    auto* layout = new QFormLayout(&dialog);
    auto* password = new QLineEdit;
    password->setEchoMode(QLineEdit::Password);
    layout->addRow(QStringLiteral("Account"), new QLineEdit);
    layout->addRow(QStringLiteral("Password"), password);
    dialog.show();
    return app.exec();
}
