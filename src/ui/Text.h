#pragma once

#include <string_view>

#include <QString>

namespace tavrin::ui {

// The program's own texts are UTF-8 in std::string_view constants.
inline QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace tavrin::ui
