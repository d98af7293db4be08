#pragma once

#include "interfaces/destination_grid.h"
#include "interfaces/fault.h"
#include "transfer/request_checks.h"

#include <QString>

#include <functional>
#include <optional>

class QWidget;

/// How the main window presents what the core found wrong: each fault as a modal message box
/// with an OK button, then the cell it names (if any) made current and marked red - a move that
/// commits a pending edit, as a user's would - and a row that passed its checks walked over with
/// its marks cleared.
class FaultPresenter final : public CheckFindings
{
public:
    /// Boxes open over `window`; `table` is the Destination table whose cells are marked.
    FaultPresenter(QWidget &window, DestinationGrid &table);

    /// Replaces the modal message box (tests record the messages instead of waiting for OK).
    void setMessageSink(std::function<void(const QString &text, const QString &title)> sink);

    /// A modal message box with an OK button only and no icon; returns when it is dismissed.
    void showMessage(const QString &text, const QString &title);
    /// Presents each fault in turn.
    void present(const Faults &faults);
    void present(const std::optional<Fault> &fault);

    void faultFound(const Fault &fault) override;
    void rowPassed(int row) override;

private:
    QWidget &m_window;
    DestinationGrid &m_table;
    std::function<void(const QString &, const QString &)> m_sink;
};
