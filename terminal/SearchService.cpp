#include "terminal/SearchService.h"

namespace tarvik {

// Nothing is cached between searches yet, so there is nothing to drop.
void SearchService::invalidate() {}

} // namespace tarvik
