#include "access/access_commands.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
    if (int status = 0; nxkit::run_access_command(argc, argv, status))
        return status;
    return nxkit::run_workstation(argc, argv);
}
