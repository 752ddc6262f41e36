// The viewer's pictures: the 16 x 16 images of the tree and the list, and the toolbar's icons.
#pragma once

#include <QIcon>
#include <map>
#include <string>
#include <string_view>

namespace brontal {

// The image keys of the tree and the list, in their order.
inline constexpr std::string_view kTreeImageKeys[] = {"cclosed", "copen", "fclosed",   "fopen",
                                                      "dclosed", "dopen", "masterroot"};

// The icon keys of the toolbar's buttons.
inline constexpr std::string_view kToolImageKeys[] = {"Print", "up1lvl", "Copy", "Graph",
                                                      "piedisk"};

// The image lists of the main window. Needs a QApplication, whose style draws the pictures.
class ImageList {
 public:
  ImageList();

  // The 16 x 16 image of a key of kTreeImageKeys; a null icon for any other key.
  QIcon Image(std::string_view key) const;
  // A tree item's icon: the `closed` image normally and the `open` one while it is selected.
  QIcon TreeIcon(std::string_view closed, std::string_view open) const;
  // The icon of a toolbar button by a key of kToolImageKeys; a null icon for any other key.
  QIcon ToolImage(std::string_view key) const;

 private:
  std::map<std::string, QPixmap, std::less<>> images_;
  std::map<std::string, QIcon, std::less<>> tools_;
};

}  // namespace brontal
