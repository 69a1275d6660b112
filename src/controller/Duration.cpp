#include "controller/Duration.h"

#include <cstdio>

namespace tavrin::controller {

std::string FormatDuration(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%.2lld:%.2lld:%.2lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>((seconds % 3600) / 60), static_cast<long long>(seconds % 60));
    return text;
}

}  // namespace tavrin::controller
