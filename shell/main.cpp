#include "access/access_commands.h"
#include "shell/command_line.h"

int main(int argc, char** argv) {
    // The engineer's commands (--set-password, --verify-audit) first: they end the process.
    if (int status = 0; nxkit::run_access_command(argc, argv, status))
        return status;
    return nxkit::run_command_line(argc, argv);
}
