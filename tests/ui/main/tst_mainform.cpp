// Start-up of both programs on the simulated board: the state and controls it leaves, the
// exact traffic, the failure paths, menus and the status bar.

#include "WindowFixture.h"

#include "ui/main/CalibrationPanel.h"
#include "ui/main/FunctionPanel.h"
#include "ui/main/HardwarePanel.h"
#include "ui/main/MainForm.h"
#include "ui/main/RegistersPanel.h"
#include "ui/main/TemperaturePanel.h"
#include "ui/widgets/Toggle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

using namespace tq;
using namespace tq::ui;
using namespace tq::test;

class TestMainForm : public QObject {
    Q_OBJECT

private slots:
    void functionRegisterSetsSwitchesAndItems_data() {
        QTest::addColumn<int>("word");
        QTest::addColumn<int>("bits");
        QTest::newRow("all six set") << 0x3F << 0x3F;
        QTest::newRow("none set") << 0x00 << 0x00;
        QTest::newRow("bits above 5 ignored") << 0xFFC0 << 0x00;
        QTest::newRow("D1 output only") << 0x10 << 0x10;
    }
    void functionRegisterSetsSwitchesAndItems() {
        QFETCH(int, word);
        QFETCH(int, bits);
        Program p = makeProgram(kTQ5802R, word);
        QCOMPARE(p.main->start(), 0);
        MainForm& f = p.main->form();
        FunctionPanel& fn = f.functionPanel();
        HardwarePanel& hw = f.hardwarePanel();
        SharedState& s = p.main->state();

        const bool d1Out = bits & 0x10, d0Out = bits & 0x04;
        QCOMPARE(fn.Toggle1->value(), bool(bits & 0x20));
        QCOMPARE(fn.Toggle3->value(), d1Out);
        QCOMPARE(fn.Toggle5->value(), bool(bits & 0x08));
        QCOMPARE(fn.Toggle4->value(), d0Out);
        QCOMPARE(fn.Toggle6->value(), bool(bits & 0x02));
        // The closing register read turns SDO on, whatever the word read at load.
        QVERIFY(!fn.Toggle7->value());
        QCOMPARE(fn.Toggle7->caption(), QStringLiteral("Enabled"));
        QVERIFY(!fn.Toggle5->isEnabled());
        QVERIFY(!fn.Toggle6->isEnabled());
        QCOMPARE(hw.Frame21->isEnabled(), !d1Out);
        QCOMPARE(hw.Toggle12->isEnabled(), !d1Out);
        QCOMPARE(hw.Frame20->isEnabled(), !d0Out);
        QCOMPARE(hw.Toggle11->isEnabled(), !d0Out);
        QCOMPARE(fn.Command6->isVisible(), !(d1Out && d0Out));

        const QStringList all = {"No Operation",         "Local Ground Offset Adjust Disable",
                                 "Set D1 as Input",      "Set D1",
                                 "Set D0 as Input",      "Set D0",
                                 "Enable SDO Output",    "CLEAR All DAC Channels",
                                 "LOAD All DAC Channels"};
        const QStringList none = {"No Operation",         "Local Ground Offset Adjust Enable",
                                  "Set D1 as Output",     "Clear D1",
                                  "Set D0 as Output",     "Clear D0",
                                  "Disable SDO Output",   "CLEAR All DAC Channels",
                                  "LOAD All DAC Channels"};
        QStringList expected = none;
        for (int i = 0; i < 6; ++i)
            if (bits & (0x20 >> i)) expected[i + 1] = all[i + 1];
        QCOMPARE(items(f.registersPanel().ComboFunction), expected);
        QCOMPARE(QString::fromStdString(s.SdoItem), expected[6]);
        // The flags follow the read, so "Read Register" wrote back the board's bits, SDO on.
        QCOMPARE(s.FunctionBits, bits & ~0x01);
    }

    // What the window shows once running, the same whatever the function register holds.
    void startupLeavesDataRegisterSelected() {
        Program p = makeProgram(kTQ5802R);
        QCOMPARE(p.main->start(), 0);
        MainForm& f = p.main->form();
        RegistersPanel& r = f.registersPanel();
        SharedState& s = p.main->state();
        QVERIFY(f.isVisible());
        QCOMPARE(f.windowTitle(), QStringLiteral("TQ5802R Evaluation Software"));

        QCOMPARE(r.ComboReg->currentText(), QStringLiteral("Data Register"));
        QCOMPARE(items(r.ComboReg).size(), 5);
        QCOMPARE(r.ComboRW->currentText(), QStringLiteral("Write"));
        QVERIFY(r.ComboRW->isEnabled());
        QCOMPARE(r.ComboAddr->currentText(), QStringLiteral("DAC A"));
        for (QWidget* w : {static_cast<QWidget*>(r.TextData), static_cast<QWidget*>(r.Label1),
                           static_cast<QWidget*>(r.TextVolts), static_cast<QWidget*>(r.Label29),
                           static_cast<QWidget*>(r.Command2), static_cast<QWidget*>(r.ComboAddr)})
            QVERIFY2(w->isVisible(), qPrintable(w->objectName()));
        for (QWidget* w :
             {static_cast<QWidget*>(r.ComboCoarse), static_cast<QWidget*>(r.TextFine),
              static_cast<QWidget*>(r.TextOffset), static_cast<QWidget*>(r.ComboFunction),
              static_cast<QWidget*>(r.TextFunction), static_cast<QWidget*>(r.Label9)})
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        QCOMPARE(r.Label9->text(), QStringLiteral("Enter Offset Value (-16 to 15.875)"));
        QCOMPARE(r.Label7->text(), QStringLiteral("Enter Fine Gain Value (-32 to 31)"));
        QCOMPARE(r.Command2->text(), QStringLiteral("Hex"));
        QCOMPARE(r.ComboCoarse->currentIndex(), -1);
        QCOMPARE(items(r.ComboCoarse).size(), 3);

        // The data register of DAC A has been read once and is shown bit by bit.
        QCOMPARE(s.RegisterCode, int16_t{2});
        QCOMPARE(s.AddressCode, int16_t{0});
        QCOMPARE(r.LabelRW->text(), QStringLiteral("1"));
        QCOMPARE(r.LabelREG[2]->text() + r.LabelREG[1]->text() + r.LabelREG[0]->text(),
                 QStringLiteral("010"));
        QCOMPARE(r.LabelData->text(), QString::number(0x900000 + s.DataValue, 16).toUpper());
        QCOMPARE(r.TextData->text(), QString::number(s.DataValue, 16).toUpper());
        QCOMPARE(r.LabelD[15]->text(), QString::number((s.DataValue >> 15) & 1));

        HardwarePanel& hw = f.hardwarePanel();
        QVERIFY(hw.Check1->isChecked());
        QCOMPARE(s.Check1Value, int16_t{1});
        QVERIFY(hw.Toggle9->value());
        QVERIFY(!hw.Toggle9->isEnabled());
        for (Toggle* t : {hw.Toggle2, hw.Toggle8, hw.Toggle10})
            QVERIFY(t->value());
        QCOMPARE(hw.Toggle2->caption(), QStringLiteral("Binary"));
        QVERIFY(f.temperaturePanel().isEnabled());

        CalibrationPanel& c = f.calibrationPanel();
        QCOMPARE(c.Command8->text(),
                 QStringLiteral("Perform Offset && Gain Calibration on Selected DAC"));
        QVERIFY(c.Command8->isVisible());
        QVERIFY(!c.TextOff->isVisible());
        QVERIFY(!c.LabelComplete->isVisible());
    }

    // The same transfers for any board; only the word that turns SDO on carries the other
    // five bits the board had.
    void startupTraffic_data() {
        QTest::addColumn<bool>("legacy");
        QTest::addColumn<int>("word");  // the function register as the board answers it
        QTest::addColumn<int>("sdoOn"); // the word written to turn SDO on
        QTest::newRow("TQ5802R") << false << 0x00 << 0x00;
        QTest::newRow("TQ5802") << true << 0x00 << 0x00;
        QTest::newRow("TQ5802R, board kept 0x3F") << false << 0x3F << 0x3E;
        QTest::newRow("TQ5802, board kept 0x2A") << true << 0x2A << 0x2A;
        QTest::newRow("TQ5802R, bits above 5 ignored") << false << 0xFFD5 << 0x14;
    }
    void startupTraffic() {
        QFETCH(bool, legacy);
        QFETCH(int, word);
        QFETCH(int, sdoOn);
        Program p = makeProgram(legacy ? kTQ5802 : kTQ5802R, word);
        QCOMPARE(p.main->start(), 0);
        const char* vrq = legacy ? "VendorIORequest" : "Vendor_Request";
        std::vector<Call> expected;
        if (legacy) {
            expected.push_back({QStringLiteral("LoadFirmWare")});
        } else {
            expected.push_back({QStringLiteral("Search_For_Boards"), -1, 0x0456, 0xB202});
            expected.push_back({QStringLiteral("Connect"), -1, 0x0456, 0xB202});
            expected.push_back({QStringLiteral("Download_Firmware")});
        }
        for (const Call& c : {
                 vr(vrq, 0xDD, 0x81, 0, 1, 3), vr(vrq, 0xDD, 0x81, 0, 1, 3), // function register
                 vr(vrq, 0xDD, 0x00, 0, 0, 0),                               // "No Operation"
                 vr(vrq, 0xDE, 0x9F, 0, 0, 0),                               // control lines
                 vr(vrq, 0xDD, 0x01, sdoOn, 0, 0),                           // SDO on
                 vr(vrq, 0xDD, 0x90, 0, 1, 3), vr(vrq, 0xDD, 0x90, 0, 1, 3), // data register
             })
            expected.push_back(c);
        QStringList got, want;
        for (const Call& c : p.driver->calls)
            got << describe(c);
        for (const Call& c : expected)
            want << describe(c);
        QCOMPARE(got, want);
    }

    void legacyProgramDiffers() {
        Program p = makeProgram(kTQ5802);
        QCOMPARE(p.main->start(), 0);
        MainForm& f = p.main->form();
        TemperaturePanel& t = f.temperaturePanel();
        QCOMPARE(f.windowTitle(), QStringLiteral("TQ5802 Evaluation Software"));
        QCOMPARE(t.title(), QStringLiteral("Measure TQ5802 Core Temperature"));
        for (QWidget* w : {static_cast<QWidget*>(&t), static_cast<QWidget*>(t.Command7),
                           static_cast<QWidget*>(t.Label19), static_cast<QWidget*>(t.Label21),
                           static_cast<QWidget*>(t.Label23), static_cast<QWidget*>(t.Label25)})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QCOMPARE(f.registersPanel().ComboReg->currentText(), QStringLiteral("Data Register"));
    }

    void noBoardWarnsAndNeverShowsTheWindow_data() {
        QTest::addColumn<bool>("legacy");
        QTest::newRow("TQ5802R") << false;
        QTest::newRow("TQ5802") << true;
    }
    void noBoardWarnsAndNeverShowsTheWindow() {
        QFETCH(bool, legacy);
        const Variant& v = legacy ? kTQ5802 : kTQ5802R;
        Program p = makeProgram(v);
        p.driver->setAbsent(true);
        ShowCounter shows;
        p.main->form().installEventFilter(&shows);
        BoxAnswerer answerer;
        QCOMPARE(p.main->start(), Main::kFirmwareFailed);
        QCOMPARE(shows.shows, 0);
        QCOMPARE(answerer.boxes.size(), size_t{1});
        QCOMPARE(answerer.boxes[0].text,
                 QStringLiteral("Error Downloading Firmware - Check USB connections"));
        QCOMPARE(answerer.boxes[0].title, QString::fromUtf8(v.title));
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Warning);
        QVERIFY2(answerer.boxes[0].informative.startsWith(QStringLiteral("No board is attached")),
                 qPrintable(answerer.boxes[0].informative));
        // Nothing after the failed start: no register traffic.
        for (const Call& c : p.driver->calls)
            QVERIFY2(c.request < 0, qPrintable(describe(c)));
    }

    // The program finds its image in a directory named in any characters, and a download
    // that fails shows the driver's reason under the warning.
    void firmwareInTheProgramsDirectory_data() {
        QTest::addColumn<QString>("image");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        QTest::newRow("good image") << QString() << 0 << QString();
        QTest::newRow("image writing the CPU's reset register")
            << QStringLiteral(":0100000055AA\n:01E600000019\n:00000001FF\n")
            << Main::kFirmwareFailed << QStringLiteral("TQ5802.hex line 2: data at 0xE600");
        QTest::newRow("no image") << QStringLiteral("-") << Main::kFirmwareFailed
                                  << QStringLiteral("TQ5802.hex");
    }
    void firmwareInTheProgramsDirectory() {
        QFETCH(QString, image);
        QFETCH(int, status);
        QFETCH(QString, reason);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString dir = tmp.filePath(QStringLiteral("Prüfstand \u6E2C"));
        QVERIFY(QDir().mkpath(dir));
        const QString hex = dir + QStringLiteral("/TQ5802.hex");
        if (image.isNull()) {
            QVERIFY(QFile::copy(QStringLiteral(TQ_BIN_DIR "/TQ5802.hex"), hex));
        } else if (image != QStringLiteral("-")) {
            QFile f(hex);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(image.toLatin1());
        }
        Program p = makeProgram(kTQ5802R, {}, dir);
        BoxAnswerer answerer;
        QCOMPARE(p.main->start(), status);
        QCOMPARE(p.main->state().FirmwarePath, QFile::encodeName(hex).toStdString());
        if (status == 0) {
            QVERIFY(p.driver->registers().firmwareRunning);
            QCOMPARE(answerer.boxes.size(), size_t{0});
            return;
        }
        QCOMPARE(answerer.boxes.size(), size_t{1});
        QCOMPARE(answerer.boxes[0].text,
                 QStringLiteral("Error Downloading Firmware - Check USB connections"));
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(answerer.boxes[0].title, QStringLiteral("TQ5802R Evaluation Software"));
        QVERIFY2(answerer.boxes[0].informative.contains(reason),
                 qPrintable(answerer.boxes[0].informative));
    }

    // Without an image the warning stays the same; below it are the places searched, and
    // the driver got the last of them.
    void missingFirmwareNamesThePlacesSearched_data() {
        QTest::addColumn<bool>("legacy");
        QTest::newRow("TQ5802R") << false;
        QTest::newRow("TQ5802") << true;
    }
    void missingFirmwareNamesThePlacesSearched() {
        QFETCH(bool, legacy);
        const Variant& v = legacy ? kTQ5802 : kTQ5802R;
        QTemporaryDir user, program;
        Program p = makeProgram(v);
        p.main->setFirmware(board::findFirmware({}, {user.path(), program.path()}));
        BoxAnswerer answerer;
        QCOMPARE(p.main->start(), Main::kFirmwareFailed);
        QCOMPARE(answerer.boxes.size(), size_t{1});
        QCOMPARE(answerer.boxes[0].text,
                 QStringLiteral("Error Downloading Firmware - Check USB connections"));
        for (const QTemporaryDir* dir : {&user, &program})
            QVERIFY2(answerer.boxes[0].informative.contains(dir->filePath("TQ5802.hex")),
                     qPrintable(answerer.boxes[0].informative));
        QCOMPARE(QString::fromStdString(p.main->state().FirmwarePath),
                 program.filePath("TQ5802.hex"));
    }

    void missingDriverLibraryNamesTheFileOnly() {
        const QString path = QStringLiteral(TQ_BIN_DIR "/libNoSuchDriver.so");
        Main m(kTQ5802R, path, QStringLiteral(TQ_BIN_DIR));
        ShowCounter shows;
        m.form().installEventFilter(&shows);
        BoxAnswerer answerer;
        QCOMPARE(m.start(), Main::kDriverLoadFailed);
        QCOMPARE(shows.shows, 0);
        QCOMPARE(answerer.boxes.size(), size_t{1}); // no firmware warning after it
        QVERIFY(answerer.boxes[0].text.contains(path));
        QVERIFY(answerer.boxes[0].text.contains(QStringLiteral("not found")));
        QVERIFY(!answerer.boxes[0].text.contains(QStringLiteral("Search_For_Boards")));
        QCOMPARE(answerer.boxes[0].title, QStringLiteral("TQ5802R Evaluation Software"));
    }

    void menusAndClosing() {
        Program p = makeProgram(kTQ5802R);
        QCOMPARE(p.main->start(), 0);
        MainForm& f = p.main->form();
        QCOMPARE(f.MnuFile->title(), QStringLiteral("&File"));
        QCOMPARE(f.MnuExit->text(), QStringLiteral("E&xit"));
        QCOMPARE(f.MnuHelp->title(), QStringLiteral("&Help"));
        QCOMPARE(f.MnuAbout->text(), QStringLiteral("&About"));
        QCOMPARE(f.MnuTest->text(), QStringLiteral("Direct Read/Write"));
        QVERIFY(!f.MnuTest->isEnabled());

        // About: created once, shown without waiting, shown again rather than duplicated.
        f.MnuAbout_Click();
        // The About window may delete itself when closed.
        QPointer<QDialog> about = f.aboutWindow();
        QVERIFY(about);
        QVERIFY(about->isVisible());
        QVERIFY(!about->isModal());
        about->hide();
        f.MnuAbout_Click();
        QCOMPARE(f.aboutWindow(), about.data());
        QVERIFY(about->isVisible());

        // Exit ends the event loop at once with the About window still open.
        QTimer::singleShot(0, &f, [&f] { f.MnuExit->trigger(); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!f.isVisible());
        QVERIFY(!about || !about->isVisible());
    }

    void statusBarNamesDriverAndFailedTransfers() {
        Program p = makeProgram(kTQ5802R);
        p.main->setDriverDescription(QStringLiteral("Simulated board"));
        QCOMPARE(p.main->start(), 0);
        MainForm& f = p.main->form();
        QVERIFY(f.statusBar()->currentMessage().isEmpty());
        auto* driverLabel = f.statusBar()->findChild<QLabel*>(QStringLiteral("DriverLabel"));
        QVERIFY(driverLabel);
        QCOMPARE(driverLabel->text(), QStringLiteral("Simulated board"));

        p.driver->setFailing(true);
        QTest::mouseClick(f.registersPanel().command1, Qt::LeftButton);
        QVERIFY(f.statusBar()->currentMessage().startsWith(
            QStringLiteral("Request 0xDD failed (status ")));
        QVERIFY(p.main->state().DriverStatus != 0);
        // The R/W indicator follows the board layer's last word all the same.
        QCOMPARE(f.registersPanel().LabelRW->text(), QStringLiteral("1"));
    }

    void entriesAreFoundThroughTheirCaptions() {
        Program p = makeProgram(kTQ5802R);
        QCOMPARE(p.main->start(), 0);
        RegistersPanel& r = p.main->form().registersPanel();
        QCOMPARE(r.Label1->buddy(), r.TextData);
        QCOMPARE(r.Label29->buddy(), r.TextVolts);
        QCOMPARE(r.Label5->buddy(), r.ComboCoarse);
        QCOMPARE(r.Label7->buddy(), r.TextFine);
        QCOMPARE(r.Label9->buddy(), r.TextOffset);
        CalibrationPanel& c = p.main->form().calibrationPanel();
        QCOMPARE(c.LabelOff2->buddy(), c.TextOff);
        QCOMPARE(c.LabelFS2->buddy(), c.TextFS);
        // Every named control is reachable by its name.
        for (const char* name : {"Frame1", "Frame6", "Frame12", "Frame17", "Frame18", "Frame19",
                                 "Frame22", "Toggle1", "Toggle12", "Check1", "LabelD0", "LabelD15",
                                 "LabelREG2", "LabelA0", "QRVLogo", "Command10"})
            QVERIFY2(p.main->form().findChild<QWidget*>(QString::fromLatin1(name)), name);
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
