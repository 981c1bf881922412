#pragma once

namespace pravix
{

// Registers the resources built into the application library (the strings tables, the
// Configuration.plist, the images). A static library's resources are only linked when something
// asks for them: call this before the first ":/" path is read. Safe to call again, from any thread.
void initAppResources();

}  // namespace pravix
