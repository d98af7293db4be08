#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

/// Keeps controls placed by design in an area that may grow past its designed size: each edge of a
/// control either stays where the design put it or moves with one of the area's growing edges, so
/// that at the designed size every control is exactly where the design put it.
class GrowingLayout final : public QObject
{
public:
    /// How far one edge of a control moves when the area is larger than designed.
    enum class Edge
    {
        Stays,
        WithRight,      // by all the width the area gained
        WithHalfHeight, // by half the height the area gained, rounded down
        WithBottom,     // by all the height the area gained
    };

    /// Lays out controls of `area`, which was designed at `designedSize`.
    GrowingLayout(QWidget *area, QSize designedSize);

    /// Lets `control`, now at its designed geometry, follow the area's size edge by edge.
    void add(QWidget *control, Edge left, Edge top, Edge right, Edge bottom);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Item
    {
        QPointer<QWidget> control;
        QRect designed;
        Edge left, top, right, bottom;
    };
    void apply();

    QWidget *m_area;
    QSize m_designedSize;
    std::vector<Item> m_items;
};
