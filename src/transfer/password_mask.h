#pragma once

#include <QByteArray>
#include <QString>

/// What stands for a password wherever one would otherwise show.
inline const QString kPasswordMask = QStringLiteral("********");

/// The text with every place that holds `password` masked: a hostile server may echo what it was
/// sent, and a client's words end up in reasons, reports and terminals.
inline QString withPasswordMasked(QString text, const QString &password)
{
    if (!password.isEmpty())
        text.replace(password, kPasswordMask);
    return text;
}

/// The same for 8-bit text in the locale's encoding, as the logs hold it.
inline QByteArray withPasswordMasked(QByteArray text, const QString &password)
{
    if (!password.isEmpty())
        text.replace(password.toLocal8Bit(), kPasswordMask.toLatin1());
    return text;
}
