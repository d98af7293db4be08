#pragma once

// Lines parcelwright-ftp prints that the run reads back from its log: the run tells from them
// whether TLS protected a destination and why one failed, so both sides take them from here.

/// Printed once the server has accepted protection of the data connections too (PROT P).
inline constexpr char kFtpTlsInUseLine[] = "Control and data connections protected by TLS.";

/// Starts the line of a command the server did not answer, or a transfer that stalled.
inline constexpr char kFtpTimeOutStart[] = "ftp: time-out after ";

/// Starts the line of a session that "-tls:required" ended before the log-in.
inline constexpr char kFtpTlsMissingStart[] = "ftp: TLS required but the server ";

/// Starts the line of a server whose certificate was refused; what was wrong follows.
inline constexpr char kFtpCertificateStart[] = "ftp: the server's certificate ";
