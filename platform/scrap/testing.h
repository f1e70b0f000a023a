// Test seam: stands another store in for the system clipboard and the in-process store, for
// example one whose attach() fails, to exercise callers' failure paths.
#ifndef VELLORA_SCRAP_TESTING_H
#define VELLORA_SCRAP_TESTING_H

#include <memory>

#include "platform/scrap/ScrapStore.h"

namespace vellora::scrap::testing {

// Every call uses `store` until it is reset with nullptr. Switching stores starts a new
// generation.
VELLORA_SCRAP_API void setStoreOverride(std::shared_ptr<Store> store);

}  // namespace vellora::scrap::testing

#endif
