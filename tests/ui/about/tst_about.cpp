#include "ui/about/frmAbout.h"

#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace tq::ui;

namespace {

constexpr std::string_view kPathKey = R"(SOFTWARE\Microsoft\Shared Tools\MSINFO)";
constexpr std::string_view kFolderKey = R"(SOFTWARE\Microsoft\Shared Tools Location)";

// Answers every message box that opens while it lives, remembering what it said.
class MessageWatcher {
public:
    MessageWatcher() {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            texts << box->text();
            titles << box->windowTitle();
            buttons << box->standardButtons();
            box->button(QMessageBox::Ok)->click();
        });
        timer_.start();
    }
    QStringList texts;
    QStringList titles;
    QList<QMessageBox::StandardButtons> buttons;

private:
    QTimer timer_;
};

bool touch(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

} // namespace

class TstAbout : public QObject {
    Q_OBJECT

private slots:
    void showsTheProgramAndClosesForGood_data();
    void showsTheProgramAndClosesForGood();
    void readsRegistryValues_data();
    void readsRegistryValues();
    void startsSystemInfoOrSaysItCannot_data();
    void startsSystemInfoOrSaysItCannot();
    void systemRegistryNamesTheFirstToolFound();
};

void TstAbout::showsTheProgramAndClosesForGood_data() {
    QTest::addColumn<const Variant*>("variant");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("version");
    QTest::newRow("TQ5802R") << &kTQ5802R << "TQ5802R Evaluation Software"
                             << "Version  1.0.20";
    QTest::newRow("TQ5802") << &kTQ5802 << "TQ5802 Evaluation Software"
                            << "Version  1.0.16";
}

void TstAbout::showsTheProgramAndClosesForGood() {
    QFETCH(const Variant*, variant);
    QFETCH(QString, title);
    QFETCH(QString, version);

    QPointer<FrmAbout> about = new FrmAbout(*variant);
    about->show();
    QCOMPARE(about->windowTitle(), "About " + title);
    QCOMPARE(about->lblTitle->text(), title);
    QCOMPARE(about->lblVersion->text(), version);
    QVERIFY(about->lblDescription->text().startsWith(
        "The latest versions of all Orvana Software is available from our WebSite "));
    QVERIFY(!about->picIcon->pixmap().isNull());
    QCOMPARE(about->cmdSysInfo->text(), "&System Info...");
    QCOMPARE(about->findChild<QPushButton*>("cmdOK"), about->cmdOK);
    QCOMPARE(about->cmdOK->nextInFocusChain(), about->cmdSysInfo);

    QTest::mouseClick(about->cmdOK, Qt::LeftButton);
    QVERIFY(!about.isNull() && !about->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(about.isNull());
}

void TstAbout::readsRegistryValues_data() {
    QTest::addColumn<std::string_view>("key");
    QTest::addColumn<std::uint32_t>("type");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QByteArray>("value");

    const QByteArray path = R"(C:\Windows\System32\msinfo32.exe)";
    QTest::newRow("text stored with its NUL")
        << kPathKey << kRegText << path + '\0' << true << path;
    QTest::newRow("text stored without NUL") << kPathKey << kRegText << path << true << path;
    QTest::newRow("number 261") << kPathKey << kRegNumber << QByteArray("\x05\x01\x00\x00", 4)
                                << true << QByteArray("261");
    QTest::newRow("number -1") << kPathKey << kRegNumber << QByteArray(4, '\xff') << true
                               << QByteArray("-1");
    QTest::newRow("number 256 ending in NUL")
        << kPathKey << kRegNumber << QByteArray("\x00\x01\x00\x00", 4) << true << QByteArray("256");
    QTest::newRow("other type keeps the caller's text")
        << kPathKey << 3u << QByteArray("\x01\x02", 2) << true << QByteArray("before");
    QTest::newRow("missing key") << std::string_view("SOFTWARE\\Nowhere") << kRegText
                                 << QByteArray("x") << false << QByteArray();
    QTest::newRow("value beyond the 1024-byte buffer")
        << kPathKey << kRegText << QByteArray(1025, 'a') << false << QByteArray();
    QTest::newRow("exactly 1024 bytes")
        << kPathKey << kRegText << QByteArray(1024, 'a') << true << QByteArray(1024, 'a');
}

void TstAbout::readsRegistryValues() {
    QFETCH(std::string_view, key);
    QFETCH(std::uint32_t, type);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, read);
    QFETCH(QByteArray, value);

    MemoryRegistry registry;
    registry.setValue(kHKeyLocalMachine, kPathKey, "PATH", type,
                      std::vector<char>(bytes.begin(), bytes.end()));
    std::string keyVal = "before";
    QCOMPARE(GetKeyValue(registry, kHKeyLocalMachine, key, "PATH", keyVal), read);
    QCOMPARE(QByteArray::fromStdString(keyVal), value);
    QCOMPARE(registry.openKeyCount(), 0u);

    // A value that is not there: the query fails, and the opened key is closed all the same.
    keyVal = "before";
    QVERIFY(!GetKeyValue(registry, kHKeyLocalMachine, kPathKey, "Missing", keyVal));
    QCOMPARE(keyVal, "");
    QCOMPARE(registry.openKeyCount(), 0u);
}

void TstAbout::startsSystemInfoOrSaysItCannot_data() {
    QTest::addColumn<QString>("pathValue");  // "PATH", none when empty
    QTest::addColumn<bool>("folderValue");   // "MSINFO" names a temporary folder
    QTest::addColumn<bool>("fileInFolder");  // MSINFO32.EXE exists in it
    QTest::addColumn<int>("launcherResult"); // 1 started, 0 failed, -1 throws
    QTest::addColumn<QString>("started");    // "<folder>" stands for the folder
    QTest::addColumn<bool>("message");

    const QString absent = "/nonexistent/sysinfo-tool";
    QTest::newRow("PATH started without a file test")
        << absent << true << true << 1 << absent << false;
    QTest::newRow("folder without the file") << "" << true << false << 1 << "" << true;
    QTest::newRow("folder with the file")
        << "" << true << true << 1 << "<folder>/MSINFO32.EXE" << false;
    QTest::newRow("neither value") << "" << false << false << 1 << "" << true;
    QTest::newRow("PATH fails to start") << absent << false << false << 0 << absent << true;
    QTest::newRow("folder's file fails to start")
        << "" << true << true << -1 << "<folder>/MSINFO32.EXE" << true;
}

void TstAbout::startsSystemInfoOrSaysItCannot() {
    QFETCH(QString, pathValue);
    QFETCH(bool, folderValue);
    QFETCH(bool, fileInFolder);
    QFETCH(int, launcherResult);
    QFETCH(QString, started);
    QFETCH(bool, message);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    MemoryRegistry registry;
    if (!pathValue.isEmpty())
        registry.setText(kHKeyLocalMachine, kPathKey, "PATH", pathValue.toStdString());
    if (folderValue)
        registry.setText(kHKeyLocalMachine, kFolderKey, "MSINFO", folder.path().toStdString());
    if (fileInFolder) QVERIFY(touch(folder.filePath("MSINFO32.EXE")));

    FrmAbout about(kTQ5802R);
    QStringList launched;
    about.setRegistry(registry);
    about.setLauncher([&](const QString& program) {
        launched << program;
        if (launcherResult < 0) throw std::runtime_error("cannot start");
        return launcherResult == 1;
    });
    MessageWatcher watcher;
    QTest::mouseClick(about.cmdSysInfo, Qt::LeftButton);

    started.replace("<folder>", folder.path());
    QCOMPARE(launched, started.isEmpty() ? QStringList() : QStringList{started});
    if (message) {
        QCOMPARE(watcher.texts, QStringList{"System Information Is Unavailable At This Time"});
        QCOMPARE(watcher.titles, QStringList{"TQ5802R Evaluation Software"});
        QCOMPARE(watcher.buttons.value(0), QMessageBox::StandardButtons(QMessageBox::Ok));
    } else {
        QVERIFY(watcher.texts.isEmpty());
    }
    QCOMPARE(registry.openKeyCount(), 0u);
}

void TstAbout::systemRegistryNamesTheFirstToolFound() {
    QTemporaryDir bin;
    QVERIFY(bin.isValid());
    std::string value;

    MemoryRegistry none = systemRegistry({bin.path()});
    QVERIFY(!GetKeyValue(none, kHKeyLocalMachine, kPathKey, "PATH", value));

    for (const QString tool : {"lshw-gtk", "kinfocenter"}) {
        QFile file(bin.filePath(tool));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    }
    MemoryRegistry found = systemRegistry({bin.path()});
    QVERIFY(GetKeyValue(found, kHKeyLocalMachine, kPathKey, "PATH", value));
    QCOMPARE(QString::fromStdString(value), bin.filePath("kinfocenter"));
    QVERIFY(!GetKeyValue(found, kHKeyLocalMachine, kFolderKey, "MSINFO", value));
}

QTEST_MAIN(TstAbout)
#include "tst_about.moc"
