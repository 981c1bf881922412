#pragma once

#include <QStringList>

namespace pravix
{

// What the open panel's choice hands to the list's add function, in order: a chosen file as it
// is; a chosen folder as each of its direct entries "folder/name" (hidden ones too, sorted by
// name; no descent into sub-folders); a path that no longer exists is skipped. The add function
// then keeps only HEIC names.
QStringList pathsFromPanel(const QStringList& chosen);

}  // namespace pravix
