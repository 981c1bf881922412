#pragma once

#include "NSLanguage.h"

#include <array>

namespace pravix
{

// One item of the language menu: the code it chooses, its object name, and its title in its own
// language (the system item is titled by the "SystemLanguage" text instead).
struct LanguageMenuItem
{
    LanguageCode code;
    const char* name;
    const char* title;
};

constexpr int kLanguageMenuItemCount = 23;

// The items in menu order: the system's language first, then English, the two Chinese, Korean,
// Japanese and the others.
const std::array<LanguageMenuItem, kLanguageMenuItemCount>& languageMenuItems();

// The index of the item ticked for `code`: its own item; 2 and 12 tick the traditional Chinese
// item; 19 (Hebrew, which has no item), 10001 and any unknown code tick the system's item.
int languageMenuIndexForCode(LanguageCode code);

}  // namespace pravix
