#pragma once

#include <QList>
#include <QString>

/// What a fault is about, beyond its words: where a front end points the user.
enum class FaultSubject
{
    Request,          // the request or the run as a whole; the text says what
    FileList,         // the files to send
    Destinations,     // the Destination table as a whole: it names no host
    Cell,             // one cell of the Destination table (row and column), to be marked red
    WorkingDirectory, // the working directory is not a directory, or others may change it
    BusyDirectory,    // another run holds the working directory: the same request may work later
    ProfileName,      // the profile name cannot name a Profile file
    Profile,          // a Profile file cannot be read or written
};

/// Something that went wrong, as the core words it for the window: the message box's title and
/// text, and what it is about. The window shows it as a message box (and marks a cell red); a
/// command line says it in its own words.
struct Fault
{
    QString title;
    QString text;
    FaultSubject subject = FaultSubject::Request;
    int row = 0;     // a Cell's row, 1 to 4,999
    int column = -1; // a Cell's column

    /// A fault of one cell.
    static Fault cell(const QString &title, const QString &text, int row, int column)
    {
        return {title, text, FaultSubject::Cell, row, column};
    }
};
using Faults = QList<Fault>;
