#include "ui/widgets/Toggle.h"

#include <QSignalSpy>
#include <QtTest>

using tq::ui::Toggle;

class TestToggle : public QObject {
    Q_OBJECT

private slots:
    // Only the user's own switching raises Change(); code sets the state silently.
    void changeComesFromTheUserOnly() {
        Toggle t(QStringLiteral("Low"), QStringLiteral("High"));
        t.show();
        QSignalSpy spy(&t, &Toggle::Change);
        QCOMPARE(t.caption(), QStringLiteral("Low"));

        t.setValue(true);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(t.caption(), QStringLiteral("High"));

        QTest::mouseClick(&t, Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        QVERIFY(!t.value());
        QCOMPARE(t.caption(), QStringLiteral("Low"));

        t.setFocus();
        QTest::keyClick(&t, Qt::Key_Space);
        QCOMPARE(spy.count(), 2);
        QVERIFY(t.value());
        QCOMPARE(t.text(), QStringLiteral("High")); // what assistive tools read
    }

    void disabledSwitchIgnoresTheUser() {
        Toggle t(QStringLiteral("Enabled"), QStringLiteral("Disabled"));
        t.show();
        t.setValue(true);
        t.setEnabled(false);
        QSignalSpy spy(&t, &Toggle::Change);
        QTest::mouseClick(&t, Qt::LeftButton);
        QCOMPARE(spy.count(), 0);
        QVERIFY(t.value());
    }
};

QTEST_MAIN(TestToggle)
#include "tst_toggle.moc"
