#include "serial/ComTypes.h"

#include "platform/SerialApi.h"

namespace {

// Indexed by TComEvent.
constexpr std::uint32_t kEventBits[] = {
    platform::ev::RxChar, platform::ev::TxEmpty,  platform::ev::RxFlag, platform::ev::Ring,
    platform::ev::Break,  platform::ev::Cts,      platform::ev::Dsr,    platform::ev::Err,
    platform::ev::Rlsd,   platform::ev::Rx80Full,
};

}  // namespace

std::uint32_t EventsToInt(TComEvents Events) {
    std::uint32_t mask = 0;
    for (int e = evRxChar; e <= evRx80Full; ++e) {
        if (Events.Contains(static_cast<TComEvent>(e))) {
            mask |= kEventBits[e];
        }
    }
    return mask;
}

TComEvents IntToEvents(std::uint32_t Mask) {
    TComEvents events;
    for (int e = evRxChar; e <= evRx80Full; ++e) {
        if (Mask & kEventBits[e]) {
            events.Include(static_cast<TComEvent>(e));
        }
    }
    return events;
}
