#include "net/TolbaApi.h"

namespace tolba {

void TolbaApi::gameLogoutBlock(TolbaServerBlock block) {
  // The transport is not wired yet: behaves like a request that never completes.
  (void)block;
}

}  // namespace tolba
