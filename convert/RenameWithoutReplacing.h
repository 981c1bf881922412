#pragma once

#include <string>

namespace pravix
{

// Gives the file `from` the name `to` in the same file system unless something is already there:
// 0, EEXIST when the name is taken (whatever it names, even a dangling link), or another errno value.
// Where the file system cannot refuse to replace in a rename, a hard link and an unlink do it.
int renameWithoutReplacing(const std::string& from, const std::string& to);

// The hard-link way alone, for file systems whose rename cannot refuse to replace: 0, EEXIST, or
// another errno value; `from` is left in place when the link cannot be made.
int linkThenUnlink(const std::string& from, const std::string& to);

}  // namespace pravix
