// parcelwright-cmd: runs a launcher batch file the way the Windows command interpreter does.
#include "tools/cmd/batch_runner.h"
#include "tools/cmd/batch_system.h"

#include <string>
#include <vector>

int main(int argc, char **argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    CommandLine commandLine;
    std::string error;
    if (!parseCommandLine(arguments, &commandLine, &error)) {
        writeError(error);
        return 1;
    }

    int status = 1;
    std::string text;
    std::vector<std::string> lines;
    const std::string batchFile = resolveBatchFile(commandLine.batchFile);
    if (readBatchFile(batchFile, &text, &error)) {
        lines = splitBatchLines(text);
        BatchRunner runner(ownExecutableDirectory() + "/parcelwright-ftp");
        status = runner.run(lines);
    } else {
        writeError(error);
    }

    // Like cmd /K, the console stays usable even when the batch file could not be run, so that
    // its message can be read. The client has read its script and password files by now, and
    // the console may stay open for days: they are not left on disk that long.
    if (commandLine.mode == CommandLine::Mode::RunAndStay) {
        for (const std::string &file : clientJobFiles(lines)) {
            if (!removeOwnFile(file, &error))
                writeError(error);
        }
        handOverToShell();
        return 1;
    }
    return status;
}
