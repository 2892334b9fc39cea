#include "convert/exit_status.h"

int exitStatusForWaveResult(std::int32_t result)
{
    constexpr int kLowestFailureStatus = kExitUnconvertibleFormat + 1;
    const int low = static_cast<int>(static_cast<std::uint32_t>(result) & 0xFFu);
    return low >= kLowestFailureStatus ? low : kLowestFailureStatus;
}
