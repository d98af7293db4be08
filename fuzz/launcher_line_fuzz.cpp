// Launcher batch files as parcelwright-cmd reads them, line by line, without running anything,
// and the command line an "ftp" line hands to parcelwright-ftp; every word read back must survive
// the quoting of generated lines unchanged.
#include "fuzz_check.h"

#include "tools/cmd/batch_runner.h"
#include "tools/common/words.h"
#include "tools/ftp/ftp_arguments.h"
#include "transfer/transfer_scripts.h"
#include "transfer/value_checks.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

// Bytes map one to one onto Latin-1, so that any byte value can take part in the quoting.
QString latin1(const std::string &bytes)
{
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

/// A value written into a generated line by the program's own quoting, read back by the
/// interpreter.
std::vector<std::string> writtenAndRead(const std::string &program, const std::string &value)
{
    const QString quoted = quotedArgument(latin1(value));
    return parseBatchLine(program + ' ' + quoted.toLatin1().toStdString()).words;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::vector<std::string> lines = splitBatchLines(text);

    if (!lines.empty()) {
        CommandLine commandLine;
        std::string error;
        if (parseCommandLine(splitWords(lines.front()), &commandLine, &error))
            fuzzCheck(!commandLine.batchFile.empty(), "a command line names a batch file");
        else
            fuzzCheck(!error.empty(), "a refused command line says why");
    }

    for (const std::string &line : lines) {
        fuzzCheck(line.find('\n') == std::string::npos, "a line holds no line feed");
        const BatchLine parsed = parseBatchLine(line);
        if (parsed.kind == BatchLine::Kind::Program) {
            fuzzCheck(!parsed.words.empty(), "a program line names a program");
            FtpArguments arguments;
            std::string error;
            const std::vector<std::string> rest(parsed.words.begin() + 1, parsed.words.end());
            if (parseArguments(rest, &arguments, &error))
                fuzzCheck(!arguments.host.empty() && arguments.port >= 1 &&
                              arguments.port <= 65535 && arguments.timeoutSeconds >= 1,
                          "the client's accepted arguments are usable");
            else
                fuzzCheck(!error.empty(), "the client says why it refuses its arguments");
        }
        if (parsed.kind == BatchLine::Kind::Echo)
            fuzzCheck(line.size() >= parsed.echoText.size() &&
                          line.compare(line.size() - parsed.echoText.size(), parsed.echoText.size(),
                                       parsed.echoText) == 0,
                      "echo prints the end of its line");

        for (const std::string &word : parsed.words) {
            // The checks before a run refuse empty values and control characters (a tab apart).
            if (word.empty() || holdsControlCharacter(latin1(word)))
                continue;
            fuzzCheck(writtenAndRead("psftp", word) == std::vector<std::string>{"psftp", word},
                      "a quoted value reads back as one word, unchanged");
        }
    }
    return 0;
}
