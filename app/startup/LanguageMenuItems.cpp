#include "LanguageMenuItems.h"

namespace pravix
{

const std::array<LanguageMenuItem, kLanguageMenuItemCount>& languageMenuItems()
{
    static const std::array<LanguageMenuItem, kLanguageMenuItemCount> items = {{
        {kLanguageFollowsSystem, "MenuSYS", ""},
        {0, "MenuEN", "English"},
        {1, "MenuCN", "简体中文"},
        {12, "MenuTW", "繁體中文"},
        {4, "MenuKR", "한국어"},
        {3, "MenuJP", "日本語"},
        {5, "MenuDE", "Deutsch"},
        {9, "MenuES", "Español"},
        {10, "MenuFR", "Français"},
        {13, "MenuIT", "Italiano"},
        {14, "MenuNL", "Nederlands"},
        {8, "MenuPT", "Português"},
        {6, "MenuRU", "Русский"},
        {7, "MenuEG", "العربية"},
        {11, "MenuID", "Bahasa Indonesia"},
        {15, "MenuCY", "Ελληνικά"},
        {16, "MenuCZ", "Čeština"},
        {17, "MenuDK", "Dansk"},
        {18, "MenuHU", "Magyar"},
        {20, "MenuMD", "Română"},
        {21, "MenuPL", "Polski"},
        {22, "MenuSE", "Svenska"},
        {23, "MenuTK", "Türkçe"},
    }};
    return items;
}

int languageMenuIndexForCode(LanguageCode code)
{
    const LanguageCode ticked = code == 2 ? 12 : code;
    const auto& items = languageMenuItems();
    for (int i = 1; i < kLanguageMenuItemCount; ++i) {
        if (items[i].code == ticked) {
            return i;
        }
    }
    return 0;
}

}  // namespace pravix
