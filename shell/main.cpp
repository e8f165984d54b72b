#include "shell/command_line.h"

int main(int argc, char** argv) {
    return nxkit::run_command_line(argc, argv);
}
