#pragma once

#include "interfaces/fault.h"
#include "interfaces/transfer_request.h"
#include "transfer/known_hosts.h"

#include <QString>
#include <QStringList>

#include <optional>

/// Checks a request's transfer settings before anything is written: every number within its
/// bounds, a certificate file that can be read when FTP over TLS is asked for, a host keys file
/// that can be read. The fault naming the first that fails; none when they pass, with the
/// settings' file names made absolute (the clients run in the working directory) and `hostKeys`
/// holding what the host keys file gives (nullopt without one).
std::optional<Fault> checkSettings(TransferSettings *settings, std::optional<KnownHosts> *hostKeys);

/// The fingerprints psftp is given for a Secure Shell row's host: "HOST", "HOST:PORT" or a
/// saved session's name, looked up as written. Empty without a host keys file, or when it gives
/// the host no key.
QStringList hostKeysFor(const std::optional<KnownHosts> &hostKeys, const QString &host);
