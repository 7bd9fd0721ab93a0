// A stand-in program that opens a board and serves it over SCPI, until tq5802ctl offers
// the same as its "serve" command.

#include "scpi/Server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TQ_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serves a TQ5802R board over SCPI."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Simulated board."));
    const QCommandLineOption driver(QStringLiteral("driver"), QStringLiteral("Driver library."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption listen(QStringLiteral("listen"),
                                    QStringLiteral("Address and port (127.0.0.1:5025)."),
                                    QStringLiteral("ADDR:PORT"));
    const QCommandLineOption allow(QStringLiteral("allow"),
                                   QStringLiteral("Accept clients of this subnet only."),
                                   QStringLiteral("CIDR"));
    parser.addOptions({simulate, driver, listen, allow});
    parser.process(app);

    const QString dir = QCoreApplication::applicationDirPath();
    tq::bench::OpenOptions open;
    open.driverPath = parser.isSet(driver) ? parser.value(driver)
                      : parser.isSet(simulate)
                          ? QDir(dir).filePath(QStringLiteral("libTQ5802Sim.so"))
                          : QDir(dir).filePath(QStringLiteral("libQRV_CYUSB_USB4.so"));
    open.firmwarePath = QDir(dir).filePath(QStringLiteral("TQ5802.hex"));

    tq::scpi::ServeOptions options;
    options.identity.version = TQ_VERSION;
    if (parser.isSet(listen)) {
        const auto where = tq::scpi::ParseListen(parser.value(listen));
        if (!where) {
            std::fprintf(stderr, "--listen wants ADDR:PORT, not %s\n",
                         qPrintable(parser.value(listen)));
            return 2;
        }
        options.address = where->first;
        options.port = where->second;
    }
    for (const QString& text : parser.values(allow)) {
        const auto subnet = tq::scpi::ParseAllow(text);
        if (!subnet) {
            std::fprintf(stderr, "--allow wants ADDR/PREFIX, not %s\n", qPrintable(text));
            return 2;
        }
        options.allow.push_back(*subnet);
    }
    auto bench = tq::bench::Bench::open(open);
    if (!bench) {
        std::fprintf(stderr, "%s\n", bench.error().message.c_str());
        return 1;
    }
    return tq::scpi::Serve(**bench, options);
}
