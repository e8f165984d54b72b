#include "shell/startup.h"

int main(int argc, char** argv) {
    return nxkit::run_workstation(argc, argv);
}
