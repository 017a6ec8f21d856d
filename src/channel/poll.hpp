// The one shape of every polling loop: process pending events, append what is waiting, test the
// time, test the markers, and only then wait for more input. The wait returns as soon as input
// arrives, so an answer is seen the moment it is there.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "quandelstk/platform.hpp"

namespace quandelstk::channel {

// 0 means 7 seconds.
constexpr std::int16_t EffectiveTimeout(std::int16_t timeout) { return timeout == 0 ? 7 : timeout; }
// The longest wait of one poll: 100 ms below 60 s, 500 ms from 60 s.
constexpr std::int32_t PollWaitMs(std::int16_t timeout) { return timeout < 60 ? 100 : 500; }
// More whole seconds than timeout have passed since start (no pause).
bool TimeIsUp(const DateTime& start, std::int16_t timeout);

// Polls the thread's serial control into text until done(text) holds (true) or the time is up
// (false, text as read so far, including the read of the last poll). timeout is already effective.
bool PollUntil(const DateTime& start, std::int16_t timeout, std::string& text,
               const std::function<bool(const std::string&)>& done);

}  // namespace quandelstk::channel
