#include "transfer/value_checks.h"

#include <QFileInfo>

namespace {

const QString kControlText = QStringLiteral(
    "A value holds a line break or another control character - please correct this and continue");
const QString kHostWordText =
    QStringLiteral("The IP Address/URL must be a single name without blanks, quotes or a leading "
                   "'-' - please correct this and continue");
// psftp reads "user@host" up to the last "@": "u@h@st" would reach the host "st".
const QString kSecureHostAtText =
    QStringLiteral("The IP Address/URL of a Secure FTP row must not hold '@' (the User Id has a "
                   "column of its own) - please correct this and continue");
const QString kUserOptionText =
    QStringLiteral("The User Id must not begin with '-' - please correct this and continue");

bool isControl(QChar c)
{
    const char16_t code = c.unicode();
    return (code < 0x20 && code != u'\t') || code == 0x7f;
}

} // namespace

bool holdsControlCharacter(const QString &value)
{
    for (const QChar c : value) {
        if (isControl(c))
            return true;
    }
    return false;
}

QString withControlsShown(const QString &value)
{
    QString shown;
    shown.reserve(value.size());
    for (const QChar c : value) {
        if (!isControl(c))
            shown += c;
        else // the Unicode control pictures: U+2400 for NUL onwards, U+2421 for DEL
            shown += QChar(c.unicode() == 0x7f ? char16_t(0x2421) : char16_t(0x2400 + c.unicode()));
    }
    return shown;
}

bool isSendableFileName(const QString &path)
{
    if (holdsControlCharacter(path))
        return false;
    if (!path.contains(QChar::ReplacementCharacter))
        return true;
    const QFileInfo file(path);
    return file.exists() || file.isSymLink();
}

bool isSingleWordHost(const QString &host)
{
    if (host == QLatin1String(" "))
        return true;
    if (host.startsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : host) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('"'))
            return false;
    }
    return true;
}

bool userIdLooksLikeOption(const QString &userId)
{
    return userId.startsWith(QLatin1Char('-'));
}

bool checkValuesArePlain(const DestinationGrid &grid, int row,
                         const std::function<void(int column, const QString &message)> &refuse)
{
    // Cells are read again at each check: the caller's reaction to a refusal may move the current
    // cell and so commit a pending edit into this row.
    bool passed = true;
    bool hostHasControls = false;
    for (int column = kHostColumn; column < kDestinationColumnCount; ++column) {
        if (holdsControlCharacter(grid.text(row, column))) {
            refuse(column, kControlText);
            hostHasControls |= column == kHostColumn;
            passed = false;
        }
    }
    const bool secure = grid.text(row, kSecureShellColumn) == QLatin1String("Y");
    if (!hostHasControls && !isSingleWordHost(grid.text(row, kHostColumn))) {
        refuse(kHostColumn, kHostWordText);
        passed = false;
    } else if (!hostHasControls && secure && grid.text(row, kHostColumn).contains(u'@')) {
        refuse(kHostColumn, kSecureHostAtText);
        passed = false;
    }
    if (secure && userIdLooksLikeOption(grid.text(row, kUserIdColumn))) {
        refuse(kUserIdColumn, kUserOptionText);
        passed = false;
    }
    return passed;
}
