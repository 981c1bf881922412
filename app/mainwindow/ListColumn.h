#pragma once

#include <QString>

namespace pravix
{

// The six columns of the conversion list, by their logical index. A right-to-left interface shows
// them in the reverse order (the table's layout direction), the indices stay.
enum ListColumn
{
    SelectColumn = 0,
    NameColumn,
    SizeColumn,
    StateColumn,
    PreviewColumn,
    DeleteColumn,
    ListColumnCount,
};

// The column identifiers of the list: "select", "name", "size", "state", "prview", "delete";
// empty for any other index.
QString columnIdentifier(int column);

}  // namespace pravix
