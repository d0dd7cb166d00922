// A small Qt program that the panel's end-to-end test types into: one text
// field that takes the focus, whose whole text is written to the file named
// on the command line after every change (written aside, then renamed, so a
// reader never sees half of it).
#include <QApplication>
#include <QSaveFile>
#include <QTextEdit>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    QTextEdit field;
    field.setWindowTitle(QStringLiteral("vexil typing target"));
    field.resize(400, 200);
    QObject::connect(&field, &QTextEdit::textChanged, [&] {
        QSaveFile out(path);
        if (out.open(QIODevice::WriteOnly)) {
            out.write(field.toPlainText().toUtf8());
            out.commit();
        }
    });
    field.show();
    field.activateWindow();
    return QApplication::exec();
}
