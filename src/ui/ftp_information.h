#pragma once

#include <QMainWindow>

/// The main window: File list, Destination table, working directory, profiles and commands.
class FTP_Information final : public QMainWindow
{
    Q_OBJECT
public:
    explicit FTP_Information(QWidget *parent = nullptr);
};
