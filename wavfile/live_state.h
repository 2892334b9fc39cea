#pragma once
// Internal: the state behind a WavReader or WavWriter, which one that was moved from
// no longer holds.

#include <memory>
#include <stdexcept>
#include <string>

namespace pcmwrap {

// The object's state; std::logic_error naming the call when it was moved from.
template <class State>
State& liveState(const std::unique_ptr<State>& state, const char* call)
{
    if (!state) {
        throw std::logic_error(std::string(call) + ": the object was moved from");
    }
    return *state;
}

}  // namespace pcmwrap
