// The yardstick for the programs' start-up: a plain Qt main window of a few dozen widgets
// (menus, a status bar, group boxes of labels, fields, lists, buttons and checks), with
// nothing behind it.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    for (const char* menu : {"&File", "&Tools", "&View", "&Help"})
        window.menuBar()->addMenu(QString::fromLatin1(menu))->addAction(QStringLiteral("Item"));
    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);
    for (int group = 0; group < 4; ++group) {
        auto* box = new QGroupBox(QStringLiteral("Group %1").arg(group + 1));
        auto* grid = new QGridLayout(box);
        for (int row = 0; row < 2; ++row) {
            grid->addWidget(new QLabel(QStringLiteral("Caption %1").arg(row)), row, 0);
            grid->addWidget(new QLineEdit(QStringLiteral("8000")), row, 1);
            auto* list = new QComboBox;
            list->addItems({QStringLiteral("DAC A"), QStringLiteral("DAC B")});
            grid->addWidget(list, row, 2);
            grid->addWidget(new QPushButton(QStringLiteral("Apply")), row, 3);
            grid->addWidget(new QCheckBox(QStringLiteral("Enabled")), row, 4);
        }
        column->addWidget(box);
    }
    window.setCentralWidget(central);
    window.statusBar()->showMessage(QStringLiteral("Ready"));
    window.show();
    return app.exec();
}
