#include "transfer/plain_destination_grid.h"

void PlainDestinationGrid::clearEntries()
{
    for (int i = kDestinationColumnCount; i < m_texts.size(); ++i) {
        m_texts[i].clear();
        m_colours[i] = kStandardTextColour;
    }
}
