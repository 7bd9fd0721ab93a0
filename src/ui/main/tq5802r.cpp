#include "ui/main/Main.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return tq::ui::Main::run(tq::ui::kTQ5802R);
}
