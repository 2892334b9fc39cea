#include "play/raw_settings_check.h"

#include <iostream>
#include <string>

#include "play/bracketed.h"
#include "play/ring_frame_feed.h"

bool rawSettingsPlay(const PlayerOptions& options)
{
    std::string refusal;
    const bool raw = options.rawFormat() || options.probeDumps();
    if (raw && (options.rawRate() < static_cast<std::int32_t>(kLowestRate) ||
                options.rawRate() > static_cast<std::int32_t>(kHighestRate))) {
        refusal = std::string("Cannot play ") + bracketed(options.rawRate()) + " Hz: the player takes 1000 to 768000";
    } else if (options.rawFormat() && options.rawBitsDecide() && options.rawBits() != 8 && options.rawBits() != 16 && options.rawBits() != 24 &&
               options.rawBits() != 32) {
        refusal = std::string("Cannot play ") + bracketed(options.rawBits()) + " bits: the player takes 8, 16, 24 or 32";
    } else if (options.rawFormat() &&
               (options.rawChannels() < 1 || options.rawChannels() > static_cast<std::int32_t>(kMostMixedChannels))) {
        refusal = std::string("Cannot play ") + bracketed(options.rawChannels()) + " channels: the player takes 1 to 8";
    }
    if (!refusal.empty()) {
        std::cout << refusal << std::endl;
    }
    return refusal.empty();
}
