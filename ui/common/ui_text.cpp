#include "ui/common/ui_text.h"

#include "settings/string_table.h"

namespace kx::ui {

QString uiText(std::string_view group, std::string_view key) {
    return qtext(settings::lookupText(group, key));
}

} // namespace kx::ui
