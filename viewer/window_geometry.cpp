// Placement and splitter positions of the viewer's windows in twips.
#include "viewer/window_geometry.h"

#include <algorithm>

#include "viewer/tree_list.h"

namespace brontal {

Placement PlacementOf(const QMainWindow& window) {
  Placement placement;
  placement.state = window.isMinimized() ? 1 : window.isMaximized() ? 2 : 0;
  QRect normal = window.normalGeometry();
  if (normal.isEmpty()) normal = window.geometry();
  placement.left = normal.x() * kTwipsPerPixel;
  placement.top = normal.y() * kTwipsPerPixel;
  placement.width = normal.width() * kTwipsPerPixel;
  placement.height = normal.height() * kTwipsPerPixel;
  return placement;
}

bool MoveSplitterLeft(QSplitter& splitter, int twips) {
  const int pixels = twips / kTwipsPerPixel;
  const int inner = splitter.width();
  if (!SplitterAccepts(pixels * kTwipsPerPixel, inner * kTwipsPerPixel)) return false;
  splitter.setSizes({pixels, std::max(1, inner - pixels - splitter.handleWidth())});
  return true;
}

int SplitterLeftOf(const QSplitter& splitter) {
  const QList<int> sizes = splitter.sizes();
  return (sizes.isEmpty() ? 0 : sizes.front()) * kTwipsPerPixel;
}

}  // namespace brontal
