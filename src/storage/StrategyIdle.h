#pragma once

#include "storage/Strategy.h"

namespace tavrin::storage {

// No file is open: every operation is reported as an internal error.
class StrategyIdle : public Strategy {
public:
    explicit StrategyIdle(StorageContext& context);
};

}  // namespace tavrin::storage
