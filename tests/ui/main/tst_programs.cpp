// Both programs started as processes.

#include <QProcess>
#include <QtTest>

class TestPrograms : public QObject {
    Q_OBJECT

private slots:
    void versionLine_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("version");
        QTest::newRow("tq5802r") << "tq5802r"
                                 << "tq5802r 1.0.20";
        QTest::newRow("tq5802") << "tq5802"
                                << "tq5802 1.0.16";
    }
    void versionLine() {
        QFETCH(QString, program);
        QFETCH(QString, version);
        QProcess p;
        p.start(QStringLiteral(TQ_BIN_DIR "/") + program, {QStringLiteral("--version")});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).trimmed(), version);
    }

    // On the simulated board the program opens its window and runs until it is closed.
    void simulatedBoardStaysUp_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("tq5802r") << "tq5802r";
        QTest::newRow("tq5802") << "tq5802";
    }
    void simulatedBoardStaysUp() {
        QFETCH(QString, program);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TQ_BIN_DIR "/") + program, {QStringLiteral("--simulate")});
        QVERIFY(p.waitForStarted());
        QVERIFY2(!p.waitForFinished(3000), p.readAllStandardError().constData());
        QCOMPARE(p.state(), QProcess::Running);
        p.terminate();
        QVERIFY(p.waitForFinished(30000));
    }

    // A relative --driver path is taken from the working directory, and that library then
    // carries the whole start-up (the traffic log shows its requests).
    void relativeDriverPathIsUsed() {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tq5802.usb.debug=true"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QStringLiteral(TQ_BIN_DIR));
        p.start(QStringLiteral(TQ_BIN_DIR "/tq5802r"),
                {QStringLiteral("--driver"), QStringLiteral("./libTQ5802Sim.so")});
        QVERIFY(p.waitForStarted());
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT((log += p.readAllStandardError()).contains("value 0x81"), 30000);
        p.terminate();
        QVERIFY(p.waitForFinished(30000));
    }

    // Qt's own options are taken as every Qt program takes them and --help-all lists them;
    // without any display the program says how to get one instead of aborting.
    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status"); // -1: still running after a while
        QTest::addColumn<QStringList>("said");
        QTest::newRow("Qt options")
            << QStringList{"-platform",        "offscreen",     "-style",   "fusion",
                           "-qwindowgeometry", "640x480+10+10", "-reverse", "--simulate"}
            << -1 << QStringList{};
        QTest::newRow("--help-all") << QStringList{"--help-all"} << 0
                                    << QStringList{"--simulate", "--platform", "--reverse"};
        QTest::newRow("no display")
            << QStringList{"--simulate"} << 1
            << QStringList{"no display", "xvfb-run -a", "-platform offscreen"};
        QTest::newRow("unknown option") << QStringList{"-platform", "offscreen", "--no-such-option"}
                                        << 64 << QStringList{"no-such-option"};
    }
    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QStringList, said);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TQ_BIN_DIR "/tq5802r"), args);
        QVERIFY(p.waitForStarted());
        if (status < 0) {
            QVERIFY2(!p.waitForFinished(3000), p.readAllStandardError().constData());
            p.terminate();
            QVERIFY(p.waitForFinished(30000));
            return;
        }
        QVERIFY(p.waitForFinished(30000));
        const QString out =
            QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == status, qPrintable(out));
        for (const QString& text : said)
            QVERIFY2(out.contains(text), qPrintable(out));
    }

    void conflictingOptionsAreRefused() {
        QProcess p;
        p.start(QStringLiteral(TQ_BIN_DIR "/tq5802r"),
                {QStringLiteral("--simulate"), QStringLiteral("--driver"), QStringLiteral("x")});
        QVERIFY(p.waitForFinished(30000));
        QVERIFY(p.exitCode() != 0);
    }
};

QTEST_MAIN(TestPrograms)
#include "tst_programs.moc"
