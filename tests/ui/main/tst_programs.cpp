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
