#include "ui/file_selection.h"

QStringList pathsFromNameList(const QString &nameList, QChar separator)
{
    const QChar nul(u'\0');
    const qsizetype first = nameList.indexOf(nul);
    if (first < 0)
        return nameList.isEmpty() ? QStringList() : QStringList{nameList};

    const QString directory = nameList.left(first);
    const QString prefix = directory.endsWith(separator) ? directory : directory + separator;
    QStringList paths;
    qsizetype start = first + 1;
    while (start <= nameList.size()) {
        qsizetype end = nameList.indexOf(nul, start);
        if (end < 0)
            end = nameList.size();
        if (end == start)
            break; // an empty name ends the list
        paths.append(prefix + nameList.mid(start, end - start));
        start = end + 1;
    }
    return paths;
}

QString nameListFromPaths(const QStringList &paths, QChar separator)
{
    if (paths.size() <= 1)
        return paths.value(0);

    // The dialog picks from one folder, but a typed name may reach into another: the common
    // directory keeps every path whole.
    QString directory = paths.first().left(paths.first().lastIndexOf(separator) + 1);
    for (const QString &path : paths) {
        while (!directory.isEmpty() && !path.startsWith(directory)) {
            directory.chop(1);
            directory = directory.left(directory.lastIndexOf(separator) + 1);
        }
    }
    QString nameList = directory;
    for (const QString &path : paths) {
        nameList += QChar(u'\0');
        nameList += path.mid(directory.size());
    }
    return nameList;
}
