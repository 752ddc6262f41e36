// The viewer's windows measure their placement and splitters in twips, as their settings keep
// them; these turn Qt's pixels into those figures and back.
#pragma once

#include <QMainWindow>
#include <QSplitter>

#include "viewer/client.h"

namespace brontal {

// The window's normal placement (its geometry before any maximizing) and state: 1 minimized,
// 2 maximized, 0 normal.
Placement PlacementOf(const QMainWindow& window);

// Moves the splitter's left edge to `twips` when SplitterAccepts it for the splitter's width;
// returns whether it moved.
bool MoveSplitterLeft(QSplitter& splitter, int twips);

// The width of the splitter's first pane in twips; 0 for a splitter without panes.
int SplitterLeftOf(const QSplitter& splitter);

}  // namespace brontal
