#include "ui/main/Main.h"

int main(int argc, char** argv) {
    return tq::ui::Main::run(argc, argv, tq::ui::kTQ5802R);
}
