#include "samplesource.h"

#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;

// Writes the demo's sample source into the folder given; run by the build.
int main(int argc, char **argv) {
    // Icons and screenshots are drawn with fonts, which need a GUI application; no display is.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() != 2) {
        QTextStream(stderr) << "usage: kivo-sample-source <folder>\n";
        return 2;
    }
    QString error;
    if (!SampleSource::write(arguments.at(1), &error)) {
        QTextStream(stderr) << "kivo-sample-source: " << error << '\n';
        return 1;
    }
    return 0;
}
