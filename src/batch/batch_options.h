#pragma once

#include "interfaces/transfer_request.h"

#include <QString>
#include <QStringList>

/// What the command line of parcelwright-batch asks for, as given; nothing is read or checked
/// beyond the form of each value.
struct BatchOptions
{
    QString profile;          // --profile NAME; empty when the table comes from a file
    QString profileDirectory; // --profile-dir DIR; empty: ~/Parcelwright/, as the window uses
    QString destinationsFile; // --destinations FILE
    QStringList files;        // --files PATH and every plain argument
    QString fileList;         // --file-list FILE
    QString workingDirectory; // --workdir DIR; empty: the user's own ~/Parcelwright/
    int jobs = 1;
    int firstRow = 0; // --rows N or FROM-TO; 0: every row
    int lastRow = 0;
    QString report;     // --report FILE, "-" for standard output; empty: no report
    QString onlyFailed; // --only-failed REPORT
    // --idle-timeout, --retries, --retry-wait, --make-dirs, --temp-names, --ftp-tls, --ca-file,
    // --host-keys
    TransferSettings settings;
    bool dryRun = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

/// Reads the arguments that follow the program's name. False, with a one-line message, for an
/// unknown or repeated option, a missing or malformed value, or a missing or clashing choice.
bool parseBatchArguments(const QStringList &arguments, BatchOptions *options, QString *error);

/// The text of --help: every option, and examples.
QString batchUsage();
