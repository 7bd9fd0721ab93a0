// The main window and the "Simulated Board" window on a screen of the size the offscreen
// platform is configured with (one run per screen, see CMakeLists.txt): both inside the
// screen's free area, the main window at its natural size where it fits, every control
// reachable where it does not, and the status bar never covered.

#include "ui/main/Main.h"
#include "ui/main/MainForm.h"
#include "ui/simboard/SimBoardWindow.h"

#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QtTest>

using namespace tq::ui;

class TestGeometry : public QObject {
    Q_OBJECT

private slots:
    void windowsFitTheScreen() {
        Main program(kTQ5802R, QStringLiteral(TQ_SIM_LIBRARY), QStringLiteral(TQ_BIN_DIR));
        QCOMPARE(program.start(), 0);
        MainForm& form = program.form();
        QTRY_VERIFY(program.simulatedBoard()); // once the main window has been painted
        QWidget* board = program.simulatedBoard();
        const QRect area = form.screen()->availableGeometry();
        QVERIFY2(area.contains(form.frameGeometry()), "main window");
        QVERIFY2(area.contains(board->frameGeometry()), "Simulated Board window");

        auto* scroll = qobject_cast<QScrollArea*>(form.centralWidget());
        QVERIFY(scroll);
        const QSize natural = form.sizeHint();
        if (natural.width() <= area.width() && natural.height() <= area.height()) {
            QCOMPARE(form.size(), natural);
            QVERIFY(!scroll->horizontalScrollBar()->isVisible());
            QVERIFY(!scroll->verticalScrollBar()->isVisible());
        }
        // Every named control of the form can be brought whole into view.
        const QRect view = scroll->viewport()->rect();
        for (QWidget* w : scroll->widget()->findChildren<QWidget*>()) {
            if (w->objectName().isEmpty() || !w->isVisibleTo(&form) || w->width() > view.width() ||
                w->height() > view.height())
                continue;
            scroll->ensureWidgetVisible(w, 0, 0);
            const QRect seen(w->mapTo(scroll->viewport(), QPoint(0, 0)), w->size());
            QVERIFY2(view.contains(seen), qPrintable(w->objectName()));
        }

        const QStatusBar* status = form.statusBar();
        const QRect statusArea(status->mapToGlobal(QPoint(0, 0)), status->size());
        const QRect frame = form.frameGeometry();
        const bool besideFits =
            std::max(area.right() - frame.right(), frame.left() - area.left()) >=
            board->sizeHint().width() + board->frameGeometry().width() - board->width();
        QVERIFY(!board->frameGeometry().intersects(statusArea));
        if (besideFits) QVERIFY(!board->frameGeometry().intersects(frame));
        // What does not fit scrolls: every part of the Simulated Board window can be reached.
        auto* boardScroll = board->findChild<QScrollArea*>();
        QVERIFY(boardScroll);
        QVERIFY(board->height() >= boardScroll->widget()->sizeHint().height() ||
                boardScroll->verticalScrollBar()->maximum() > 0);
    }
};

QTEST_MAIN(TestGeometry)
#include "tst_geometry.moc"
