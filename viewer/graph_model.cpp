// The size graph window's rows, chart, sorting, toolbar states and caption as plain values.
#include "viewer/graph_model.h"

namespace brontal::graph {

std::array<ListColumn, 4> Columns() { return {}; }
std::array<int, 4> ColumnWidths(int) { return {}; }
std::optional<std::string> SkipClause(std::string_view, const Settings&) { return ""; }
std::string Query(std::string_view, DateTime, DateTime, std::string_view) { return {}; }
std::vector<Row> MakeL(db::Database&, std::string_view, std::string_view, std::string_view,
                       std::string_view, const Locale&) {
  return {};
}
Sort SortAfterHeaderClick(Sort current, int, std::string_view) { return current; }
void SortRows(std::vector<Row>&, Sort) {}
PrintableList PrintableGraphList(const std::vector<Row>&) { return {}; }
int LabelStep(int) { return 1; }
Chart MakeG(const std::vector<Row>&, GraphColumn, std::string_view, const Locale&) { return {}; }
Buttons ButtonsAfterClick(Buttons buttons, std::string_view) { return buttons; }
ChartStyle StyleOfButtons(const Buttons&) { return {}; }
GridLines GridLinesOf(const ChartStyle&) { return GridLines::kNone; }
Buttons LoadButtons(const Settings&) { return {}; }
int LoadSplitterLeft(const Settings&, int inner_width) { return inner_width / 2; }
void SaveGraphSettings(Settings&, const Buttons&, std::optional<int>) {}
std::string Title(std::string_view) { return {}; }
std::string Caption(std::string_view) { return {}; }

}  // namespace brontal::graph
