#include "storage/StrategyIdle.h"

namespace tavrin::storage {

StrategyIdle::StrategyIdle(StorageContext& context) : Strategy(context, "StrategyIdle") {}

}  // namespace tavrin::storage
