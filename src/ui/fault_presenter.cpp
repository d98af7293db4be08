#include "ui/fault_presenter.h"

#include <QMessageBox>

FaultPresenter::FaultPresenter(QWidget &window, DestinationGrid &table)
    : m_window(window), m_table(table)
{
}

void FaultPresenter::setMessageSink(
    std::function<void(const QString &text, const QString &title)> sink)
{
    m_sink = std::move(sink);
}

void FaultPresenter::showMessage(const QString &text, const QString &title)
{
    if (m_sink) {
        m_sink(text, title);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, &m_window);
    box.exec();
}

void FaultPresenter::present(const Faults &faults)
{
    for (const Fault &fault : faults)
        faultFound(fault);
}

void FaultPresenter::present(const std::optional<Fault> &fault)
{
    if (fault)
        faultFound(*fault);
}

void FaultPresenter::faultFound(const Fault &fault)
{
    showMessage(fault.text, fault.title);
    if (fault.subject != FaultSubject::Cell)
        return;
    m_table.setCurrentColumn(fault.column);
    m_table.setCurrentRow(fault.row);
    m_table.setCurrentCellTextColour(kFaultColour);
}

void FaultPresenter::rowPassed(int row)
{
    m_table.setCurrentRow(row);
    for (int column = 0; column < kDestinationColumnCount; ++column) {
        m_table.setCurrentColumn(column);
        m_table.setCurrentCellTextColour(kStandardTextColour);
    }
}
