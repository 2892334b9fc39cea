#include "play/announcements.h"

#include <iostream>
#include <utility>

#include "play/ring_output.h"

void Announcements::add(std::string line, std::uint64_t blocksBefore)
{
    lines_.push_back({std::move(line), blocksBefore});
}

void Announcements::withdrawLatest()
{
    if (!lines_.empty()) {
        lines_.pop_back();
    }
}

bool Announcements::printDue(const RingOutput& ring)
{
    while (!lines_.empty() && ring.playedThrough(lines_.front().blocksBefore)) {
        std::cout << lines_.front().text << std::endl;
        lines_.pop_front();
    }
    return lines_.empty();
}
