// parcelwright-cmd: runs a launcher batch file the way the Windows command interpreter does.
#include "tools/cmd/batch_runner.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    CommandLine commandLine;
    std::string error;
    if (!parseCommandLine(arguments, &commandLine, &error)) {
        std::fprintf(stderr, "parcelwright-cmd: %s\n", error.c_str());
        return 1;
    }

    int status = 1;
    std::string text;
    const std::string batchFile = resolveBatchFile(commandLine.batchFile);
    if (readBatchFile(batchFile, &text, &error)) {
        BatchRunner runner(ownExecutableDirectory() + "/parcelwright-ftp");
        status = runner.run(splitBatchLines(text));
    } else {
        std::fflush(stdout);
        std::fprintf(stderr, "parcelwright-cmd: %s\n", error.c_str());
    }

    // Like cmd /K, the console stays usable even when the batch file could not be run, so that
    // its message can be read.
    if (commandLine.mode == CommandLine::Mode::RunAndStay) {
        handOverToShell();
        return 1;
    }
    return status;
}
