#include "cli/Cli.h"

int main(int argc, char** argv) {
    return tq::cli::Run(argc, argv);
}
