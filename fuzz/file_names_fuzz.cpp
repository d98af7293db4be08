// The name list a file dialog hands to the File list, as text decoded from the system's file
// names: its paths, the checks on each name, and the list built back from the paths.
#include "fuzz_check.h"

#include "transfer/value_checks.h"
#include "ui/file_selection.h"

#include <cstddef>
#include <cstdint>

namespace {

/// A path the dialog can return: absolute, naming a file rather than a directory.
bool isDialogPath(const QString &path)
{
    return path.startsWith(QLatin1Char('/')) && !path.endsWith(QLatin1Char('/'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // File names are bytes decoded as UTF-8; one that is not valid UTF-8 holds U+FFFD.
    const QString nameList =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QStringList paths = pathsFromNameList(nameList);

    bool allFromDialog = !paths.isEmpty();
    for (const QString &path : paths) {
        fuzzCheck(!path.contains(QChar(u'\0')), "a path holds no NUL");
        if (isSendableFileName(path))
            fuzzCheck(!holdsControlCharacter(path), "a sendable name holds no control character");
        else
            fuzzCheck(!holdsControlCharacter(withControlsShown(path)),
                      "the message about a refused name shows its control characters");
        allFromDialog = allFromDialog && isDialogPath(path);
    }
    if (!nameList.contains(QChar(u'\0')))
        fuzzCheck(paths == (nameList.isEmpty() ? QStringList() : QStringList{nameList}),
                  "a list without NUL is one path");
    if (allFromDialog)
        fuzzCheck(pathsFromNameList(nameListFromPaths(paths)) == paths,
                  "the dialog's paths come back from their name list");
    return 0;
}
