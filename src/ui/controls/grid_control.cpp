#include "ui/controls/grid_control.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

/// The cells behind a GridControl: text and text colour per cell; row 0 (the headings) is served
/// as the horizontal header, so model row r is grid row r + 1.
class GridModel final : public QAbstractTableModel
{
public:
    GridModel(int rowCount, int columnCount, QObject *parent)
        : QAbstractTableModel(parent), m_rows(rowCount), m_columns(columnCount),
          m_texts(rowCount * columnCount), m_colours(rowCount * columnCount, kStandardTextColour),
          m_alignments(columnCount, Qt::AlignLeft)
    {
    }

    int gridRows() const { return m_rows; }
    int gridColumns() const { return m_columns; }
    bool contains(int row, int column) const
    {
        return row >= 0 && row < m_rows && column >= 0 && column < m_columns;
    }

    const QString &text(int row, int column) const { return m_texts[slot(row, column)]; }
    CellColour colour(int row, int column) const { return m_colours[slot(row, column)]; }

    void setText(int row, int column, const QString &text)
    {
        QString &cell = m_texts[slot(row, column)];
        if (cell == text)
            return;
        cell = text;
        changed(row, column, Qt::DisplayRole);
    }

    void setColour(int row, int column, CellColour colour)
    {
        CellColour &cell = m_colours[slot(row, column)];
        if (cell == colour)
            return;
        cell = colour;
        changed(row, column, Qt::ForegroundRole);
    }

    void clearEntries()
    {
        std::fill(m_texts.begin() + m_columns, m_texts.end(), QString());
        std::fill(m_colours.begin() + m_columns, m_colours.end(), kStandardTextColour);
        if (m_rows > 1)
            dataChanged(index(0, 0), index(m_rows - 2, m_columns - 1));
    }

    void setEntryToolTips(bool shown) { m_entryToolTips = shown; }

    void setAlignment(int column, Qt::Alignment alignment)
    {
        m_alignments[column] = alignment;
        headerDataChanged(Qt::Horizontal, column, column);
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_rows - 1;
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_columns;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        const int row = index.row() + 1;
        switch (role) {
        case Qt::DisplayRole:
            return text(row, index.column());
        case Qt::ForegroundRole: {
            const CellColour colour = this->colour(row, index.column());
            if (colour == kStandardTextColour)
                return {};
            return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(m_alignments[index.column()] | Qt::AlignVCenter);
        case Qt::ToolTipRole:
            if (m_entryToolTips && !text(row, index.column()).isEmpty())
                return text(row, index.column());
            return {};
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || section >= m_columns)
            return {};
        if (role == Qt::DisplayRole)
            return text(0, section);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(m_alignments[section] | Qt::AlignVCenter);
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        // Cells are edited by the window's own floating editor, never by the view.
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

private:
    int slot(int row, int column) const { return row * m_columns + column; }

    void changed(int row, int column, int role)
    {
        if (row == 0) {
            headerDataChanged(Qt::Horizontal, column, column);
            return;
        }
        const QModelIndex cell = index(row - 1, column);
        dataChanged(cell, cell, {role});
    }

    int m_rows;
    int m_columns;
    QVector<QString> m_texts;
    QVector<CellColour> m_colours;
    QVector<Qt::Alignment> m_alignments;
    bool m_entryToolTips = false;
};

GridControl::GridControl(int rowCount, int columnCount, QWidget *parent)
    : QTableView(parent), m_model(new GridModel(std::max(rowCount, 1), columnCount, this))
{
    setModel(m_model);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    // A column wider than the view (a long path) can only be read to its end by pixels; whole
    // columns would jump past it.
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Scrolling to a newly current cell is done by the move itself, in its place between the leave
    // and the enter notifications.
    setAutoScroll(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);

    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &GridControl::onScrollBarMoved);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, &GridControl::onScrollBarMoved);
    for (const QHeaderView *header : {horizontalHeader(), verticalHeader()})
        connect(header, &QHeaderView::sectionResized, this, &GridControl::cellGeometryChanged);
    connect(this, &QAbstractItemView::clicked, this, &GridControl::cellClicked);
    connect(this, &QAbstractItemView::doubleClicked, this, &GridControl::cellDoubleClicked);

    m_row = m_model->gridRows() > 1 ? 1 : 0;
    m_syncingView = true;
    selectionModel()->setCurrentIndex(m_model->index(m_row - 1, 0), QItemSelectionModel::NoUpdate);
    m_syncingView = false;
}

GridControl::~GridControl() = default;

void GridControl::setFormatString(const QString &format)
{
    const QStringList headings = format.split(QLatin1Char('|'));
    const int padding = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this) + 2;
    for (int column = 0; column < m_model->gridColumns(); ++column) {
        QString heading = column < headings.size() ? headings[column] : QString();
        Qt::Alignment alignment = Qt::AlignLeft;
        if (heading.startsWith(QLatin1Char('<'))) {
            heading.remove(0, 1);
        } else if (heading.startsWith(QLatin1Char('^'))) {
            alignment = Qt::AlignHCenter;
            heading.remove(0, 1);
        } else if (heading.startsWith(QLatin1Char('>'))) {
            alignment = Qt::AlignRight;
            heading.remove(0, 1);
        }
        m_model->setText(0, column, heading);
        m_model->setAlignment(column, alignment);
        setColumnWidth(column, fontMetrics().horizontalAdvance(heading) + padding);
    }
    m_lastColumnWidth = columnWidth(m_model->gridColumns() - 1);
    horizontalHeader()->setFixedHeight(verticalHeader()->defaultSectionSize());
    fitLastColumn();
}

void GridControl::fitLastColumn()
{
    if (m_lastColumnWidth == 0)
        return;
    const int last = m_model->gridColumns() - 1;
    int others = 0;
    for (int column = 0; column < last; ++column)
        others += columnWidth(column);
    setColumnWidth(last, std::max(m_lastColumnWidth, viewport()->width() - others));
}

int GridControl::columnCount() const
{
    return m_model->gridColumns();
}

int GridControl::rowCount() const
{
    return m_model->gridRows();
}

QString GridControl::text(int row, int column) const
{
    if (!m_model->contains(row, column))
        return {};
    return m_model->text(row, column);
}

void GridControl::setText(int row, int column, const QString &text)
{
    if (m_model->contains(row, column))
        m_model->setText(row, column, text);
}

void GridControl::clearEntries()
{
    m_model->clearEntries();
}

void GridControl::setCurrentRow(int row)
{
    moveTo(row, m_column);
}

void GridControl::setCurrentColumn(int column)
{
    moveTo(m_row, column);
}

void GridControl::setCurrentCell(int row, int column)
{
    moveTo(row, column);
}

void GridControl::setCurrentCellTextColour(CellColour colour)
{
    m_model->setColour(m_row, m_column, colour);
}

CellColour GridControl::textColour(int row, int column) const
{
    if (!m_model->contains(row, column))
        return kStandardTextColour;
    return m_model->colour(row, column);
}

QRect GridControl::currentCellRect(const QWidget *relativeTo)
{
    syncView();
    const QWidget *area = viewport();
    QRect cell;
    if (m_row == 0) {
        const QHeaderView *header = horizontalHeader();
        area = header->viewport();
        cell = QRect(header->sectionViewportPosition(m_column), 0, header->sectionSize(m_column),
                     header->height());
    } else {
        cell = visualRect(m_model->index(m_row - 1, m_column));
    }
    // A cell wider than the view, or cut by its edge, must not reach over the grid's frame.
    cell &= area->rect();
    return QRect(area->mapTo(relativeTo, cell.topLeft()), cell.size());
}

void GridControl::setEntryToolTips(bool shown)
{
    m_model->setEntryToolTips(shown);
}

void GridControl::setTopRow(int row)
{
    verticalScrollBar()->setValue(std::clamp(row, 1, m_model->gridRows() - 1) - 1);
}

int GridControl::topRow()
{
    syncView();
    return rowAt(0) + 1;
}

void GridControl::moveTo(int row, int column)
{
    if (!m_model->contains(row, column) || (row == m_row && column == m_column))
        return;
    Q_EMIT cellLeaving();
    m_row = row;
    m_column = column;
    // A command may walk over thousands of cells: the view (its current index, its scrolling and
    // so its painting) follows once, where the walk ends, when the event loop next turns.
    if (!m_viewSyncPending) {
        m_viewSyncPending = true;
        QMetaObject::invokeMethod(this, &GridControl::syncView, Qt::QueuedConnection);
    }
    Q_EMIT cellEntered();
}

void GridControl::syncView()
{
    if (!m_viewSyncPending)
        return;
    m_viewSyncPending = false;
    m_syncingView = true;
    selectionModel()->setCurrentIndex(m_row == 0 ? QModelIndex()
                                                 : m_model->index(m_row - 1, m_column),
                                      QItemSelectionModel::NoUpdate);
    m_syncingView = false;
    bringCurrentIntoView();
}

void GridControl::mousePressEvent(QMouseEvent *event)
{
    // The user acts on the view: it must show the current cell before it judges the press.
    syncView();
    QTableView::mousePressEvent(event);
}

void GridControl::mouseDoubleClickEvent(QMouseEvent *event)
{
    syncView();
    QTableView::mouseDoubleClickEvent(event);
}

void GridControl::keyPressEvent(QKeyEvent *event)
{
    syncView();
    QTableView::keyPressEvent(event);
}

void GridControl::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_syncingView || !current.isValid())
        return;
    const int row = current.row() + 1;
    const int column = current.column();
    if (row == m_row && column == m_column)
        return;
    Q_EMIT cellLeaving();
    m_row = row;
    m_column = column;
    bringCurrentIntoView();
    Q_EMIT cellEntered();
}

void GridControl::resizeEvent(QResizeEvent *event)
{
    // Called for the viewport's new size, once the scroll bars have been laid out. A scroll that
    // the new size forces is nobody's scroll: whatever lies over the current cell just follows.
    m_resizing = true;
    QTableView::resizeEvent(event);
    fitLastColumn();
    m_resizing = false;
    Q_EMIT cellGeometryChanged();
}

void GridControl::moveEvent(QMoveEvent *event)
{
    QTableView::moveEvent(event);
    Q_EMIT cellGeometryChanged();
}

void GridControl::bringCurrentIntoView()
{
    if (m_row == 0 || !isVisible())
        return;
    // The window reopens its editor over the new cell on the enter that follows, so this scroll
    // needs no scrolled notification of its own (which would commit the edit a second time).
    m_moving = true;
    scrollTo(m_model->index(m_row - 1, m_column));
    m_moving = false;
}

void GridControl::onScrollBarMoved()
{
    if (!m_moving && !m_resizing)
        Q_EMIT scrolled();
    Q_EMIT cellGeometryChanged();
}
