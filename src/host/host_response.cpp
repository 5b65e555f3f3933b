// Everything the host sends passes through the receive hook.
#include "app/gateway.h"

namespace tavorline {

void Gateway::IdConnectionIntercept1Receive(BytesView /*chunk*/) {}

}  // namespace tavorline
