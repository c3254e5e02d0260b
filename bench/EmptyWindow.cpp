// kurvan-bench-empty-window: the least a Qt Widgets program can be, as the yardstick for the
// client's start-up time, memory and idle CPU. Built like kurvan-client (same compiler, flags
// and Qt), one empty window the size of the panel, nothing else.
// --text: one line of text in it, titled kurvan-bench-text-window, which shows what drawing any
// text at all costs (the font system starts only when the first text is laid out).

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    const bool text = app.arguments().contains(QStringLiteral("--text"));
    window.setWindowTitle(text ? QStringLiteral("kurvan-bench-text-window")
                               : QStringLiteral("kurvan-bench-empty-window"));
    window.setFixedSize(412, 357);
    if (text)
        (new QLabel(QStringLiteral("Serveradresse:"), &window))->move(8, 8);
    window.show();
    return app.exec();
}
