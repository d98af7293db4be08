#pragma once

#include "interfaces/destination_grid.h"

#include <QString>

#include <functional>

/// True when a value holds a character that would end or break a line another program reads:
/// codes 0 to 8, 10 to 31 and 127. A tab is allowed: quoting keeps it inside its argument.
bool holdsControlCharacter(const QString &value);

/// The value with its control characters made visible (a line feed as "␊"), for a message.
QString withControlsShown(const QString &value);

/// True when a local file name can be sent as it is: no control character in it, and it names the
/// file on disk again once turned into the system's encoding (a name that is not valid text there
/// comes back from the file dialog with U+FFFD in place of its bytes).
bool isSendableFileName(const QString &path);

/// True when a host can stand on a client's command line as one plain argument: no blank, tab or
/// double quote inside it and no leading "-". A host of a single blank passes, as the request
/// treats it as keyed.
bool isSingleWordHost(const QString &host);

/// True when psftp would take the argument `userId@host` for an option.
bool userIdLooksLikeOption(const QString &userId);

/// The checks that keep a destination row's values plain data on every line generated from them:
/// a control character in the host, remote directory, user id or password; a host that is not one
/// plain word; a Secure Shell host holding "@", which psftp would split into a user and another
/// host; a Secure Shell user id that psftp would take for an option. Each failure goes to
/// `refuse` with its column and message, in that order; true when the row passed them all.
bool checkValuesArePlain(const DestinationGrid &grid, int row,
                         const std::function<void(int column, const QString &message)> &refuse);
