// The columns of an imported CSV file as its header names them: any of the
// table's columns, in any order, since people's spreadsheets rarely hold
// every column in the table's own order. A column the header leaves out is
// blank in every row; a name that is not one of the table's columns, or one
// named twice, is refused by its name rather than guessed at.
#ifndef VORSANDT_APP_EXCHANGE_COLUMNS_H_
#define VORSANDT_APP_EXCHANGE_COLUMNS_H_

#include <string>
#include <vector>

#include "app/exchange/csv.h"

namespace vorsandt::exchange {

// Rewrites `rows` (the header first) into the table's columns `columns`, in
// their order: each row gets every column, "" where the header has none.
// Names are matched without regard to case. Returns true, or false with
// `error` ("line N: ...") and the rows as they were.
bool ArrangeColumns(const std::vector<std::string>& columns, std::vector<CsvRow>* rows,
                    std::string* error);

}  // namespace vorsandt::exchange

#endif  // VORSANDT_APP_EXCHANGE_COLUMNS_H_
