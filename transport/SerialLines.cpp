#include "transport/SerialLines.h"

#include "transport/platform/TtyLayer.h"

namespace quillon {

int GetCommModemStatus(int serialHandle, std::uint32_t* status) {
    if (!status)
        return 0;
    *status = 0;
    if (serialHandle < 0)
        return 0;
    int bits = 0;
    if (CurrentTtyLayer()->GetLines(serialHandle, &bits) != LineSupport::kOk)
        return 0;
    if (bits & kLineCts)
        *status |= MS_CTS_ON;
    if (bits & kLineDsr)
        *status |= MS_DSR_ON;
    if (bits & kLineRing)
        *status |= MS_RING_ON;
    if (bits & kLineDcd)
        *status |= MS_RLSD_ON;
    return 1;
}

}  // namespace quillon
