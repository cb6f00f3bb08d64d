// An ordinary Qt program: it loads plugins as Qt does by default, from the folders and names its
// caller gives. The privileged start test shows with it that the plugin it offers would be loaded.
#include <QGuiApplication>

int main(int argc, char** argv) {
    const QGuiApplication application(argc, argv);
    return 0;
}
