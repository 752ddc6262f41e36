// The frame of the viewer's analysis windows (the size graph and the disk windows): a toolbar
// with two period pickers and, where the window thins, a skip box; a list and, where the window
// charts, a splitter with the chart beside it; the "Loading..." overlay; the control that Copy
// acts on; the window's placement and splitter kept in the settings.
#pragma once

#include <QMainWindow>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "platform/picture.h"
#include "viewer/client.h"

class QAction;
class QActionGroup;
class QComboBox;
class QImage;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;
class QTreeWidget;

namespace brontal {

struct PrintableList;
struct PrintServices;

// What the analysis windows ask of the main window. The first three must be set; a window that
// uses none of the others may leave them empty.
struct MainWindowLink {
  // The index of the more recent of the main window's two picks (the smaller index), or -1
  // when it has none.
  std::function<int()> newer_pick_index;
  // The key of the main window's place clicked last; empty when none was. For the disk graph,
  // the disk usage window's selected disk.
  std::function<std::string()> current_key;
  // Brings the main window to the front.
  std::function<void()> show;
  // The index of the older of the main window's two picks (the larger index), or -1 when it
  // has none.
  std::function<int()> older_pick_index = {};
  // Selects the place of a key in the main window's tree and lists it (FindT).
  std::function<void(const std::string& key)> find_in_tree = {};
};

class AnalysisWindow : public QMainWindow {
  Q_OBJECT

 public:
  // The controls Copy can act on.
  enum class FocusTarget { kList, kChart, kPeriod1, kPeriod2, kSkip };

  // The skip box's entries, in their order.
  static constexpr const char* kSkipAll = "All";
  static constexpr const char* kSkipWeekly = "Weekly";
  static constexpr const char* kSkipMonthly = "Monthly";

  // The control that received the focus last among the list, the chart, the pickers and the
  // skip box.
  FocusTarget FocusControl() const { return focus_control_; }
  // Puts FocusControl's content on the clipboard: the list's captions and rows as text, the
  // chart as a picture, a picker's or the skip box's text.
  void CopyFocusedControl();

  // Moves the splitter's left edge to `twips` when it lies strictly between 300 and the inner
  // width less 300; returns whether it moved. False for a window without a splitter.
  bool SetSplitterLeft(int twips);
  // The splitter's left edge in twips; 0 without a splitter.
  int SplitterLeft() const;
  // Whether the "Loading..." overlay is shown.
  bool StartupPicVisible() const;

 protected:
  // The client's busy pointer for the length of a scope.
  class BusyScope {
   public:
    explicit BusyScope(BusyPointer& pointer) : pointer_(pointer) { pointer_.Show(); }
    ~BusyScope() { pointer_.Restore(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    BusyPointer& pointer_;
  };

  // `window_name` names the window's settings section. The client and the link must outlive the
  // window. Without `with_splitter` the list fills the window.
  AnalysisWindow(Client& client, MainWindowLink main_window, const char* window_name,
                 bool with_splitter, QWidget* parent = nullptr);
  ~AnalysisWindow() override;

  // Toolbar buttons, added left to right. A checkable one in a group is released when another
  // of its group is pressed.
  QAction* AddButton(const char* key, const QString& text, const QString& tip);
  QAction* AddCheckButton(const char* key, const QString& text, const QString& tip,
                          QActionGroup* group = nullptr);
  // The pickers "p1" and "p2", 1800 twips wide, in place of their placeholder buttons;
  // on_pick runs on the user's picks, never while FillPickers fills them.
  void AddPeriodPickers(std::function<void()> on_pick);
  // The skip box "cmbSkip", 1000 twips wide, with "All", "Weekly" and "Monthly";
  // on_skip runs on every new choice, also the window's own.
  void AddSkipBox(std::function<void()> on_skip);
  // Puts the chart right of the splitter and tracks its focus; only with a splitter.
  void SetChart(QWidget* chart);

  // Where FillPickers puts p2.
  enum class SecondPick { kOldestPeriod, kOlderPick };
  // The client's periods in both pickers: p1 on the main window's more recent pick, p2 on the
  // oldest period or on the main window's older pick (the oldest period when it has none).
  void FillPickers(SecondPick second = SecondPick::kOldestPeriod);
  // Puts `legend` below the list (and the chart), across the window.
  void SetLegend(QWidget* legend);
  // Opens `popup` at the pointer when the right button is released over the list, and at once
  // for the keyboard's menu key.
  void SetListPopup(QMenu* popup);
  // Opens `popup` at the pointer when `event` releases the right button; whether it did.
  static bool PopupOnRightRelease(QEvent* event, QMenu& popup);

  // Lays the overlay over the whole window and shows the window, the label painted at once.
  void ShowStartupPic();
  void HideStartupPic();
  // The overlay's label ("Loading..." until set).
  void SetLoadingText(const QString& text);

  // The window's size and top at start, in pixels, left at 4/5 of the screen's free width,
  // then the placement saved in the window's section.
  void PlaceAtStart(int width, int height, int top);
  // The same with the window centred across the screen and its top at 1/5 of the free height.
  void PlaceCentredAtStart(int width, int height);
  // The splitter's left edge at `twips`, or at half the inner width when that is out of reach.
  void RestoreSplitter(int twips);
  // The width the splitter divides, in twips; 0 without a splitter.
  int SplitterInnerWidth() const;
  // Saves the window's placement in its section.
  void SaveWindowPlacement();

  // The print dialog over this window with the `disabled` choices (PrintWhat codes) off and
  // `chosen` selected when it is one; the choice made, nullopt when the user cancelled.
  std::optional<int> AskWhatToPrint(PrintServices& printing, std::initializer_list<int> disabled,
                                    std::optional<int> chosen = std::nullopt);
  // Prints `list` under `title` to the printer or to an HTML page, as the print dialog last
  // said; a page written whole opens in the browser when the dialog asked for it.
  void PrintListAndView(PrintServices& printing, const PrintableList& list, std::string_view title,
                        bool with_icons);

  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

  // Gives `target`'s control the focus, and makes it FocusControl at once (before the window is
  // active the focus comes later).
  void FocusOn(FocusTarget target);

  // The chart as a picture for the clipboard; empty for a window without one.
  virtual Picture ChartPicture() { return {}; }

  Client& client_;
  MainWindowLink main_window_;
  const std::string window_name_;
  QToolBar* tb_ = nullptr;
  QComboBox* p1_ = nullptr;
  QComboBox* p2_ = nullptr;
  QComboBox* cmb_skip_ = nullptr;
  QTreeWidget* l_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QWidget* chart_ = nullptr;

 private:
  QComboBox* AddPicker(const char* name, const char* tip, int width_twips);
  // The screen's size in pixels; `fallback` when the window has no screen.
  QSize ScreenSize(QSize fallback) const;
  // The window at `start`, then at the placement saved in its section.
  void PlaceAt(const QRect& start);

  QLabel* lbl_loading_ = nullptr;
  QMenu* list_popup_ = nullptr;
  FocusTarget focus_control_ = FocusTarget::kChart;
};

// The widget as a picture, as it is drawn now.
Picture PictureOfWidget(QWidget& widget);
// An image as a picture; empty for a null image.
Picture PictureOfImage(const QImage& image);

}  // namespace brontal
