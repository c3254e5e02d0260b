// kurvan-bench-empty-core: a Qt Core program that does nothing, built like kurvanctl: what
// starting the Qt Core library and its application object costs, and its resident size.
// With --stay it runs its event loop until killed, for the memory figure.

#include <QCoreApplication>
#include <cstring>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--stay") == 0)
        return app.exec();
    return 0;
}
