#pragma once

#include <QString>

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
