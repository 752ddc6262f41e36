// File-type filters of the file dialogs, from the programs' "description|patterns|..." form to
// Qt's.
#pragma once

#include <QStringList>
#include <string_view>

namespace brontal {

// One Qt filter per description and pattern pair, with the patterns in parentheses separated
// by blanks instead of ";", in place of any the description carries: "HTML
// (*.htm;*.html)|*.htm;*.html" gives "HTML (*.htm *.html)", "Access databases(*.mdb)|*.mdb"
// gives "Access databases (*.mdb)". Throws std::invalid_argument for an empty filter or parts
// that do not pair up.
QStringList QtNameFilters(std::string_view filter);

}  // namespace brontal
