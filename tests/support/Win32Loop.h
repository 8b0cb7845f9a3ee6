#pragma once

#include <functional>

namespace testsupport {

// Runs the thread's message loop until `done` holds or `capMs` passed (then false). `step`,
// when given, runs on every turn, for a peer of the test that needs driving too; the loop
// then wakes at least every few milliseconds to run it.
bool PumpUntil(const std::function<bool()> &done, int capMs = 20000,
               const std::function<void()> &step = {});

// Handles the messages already waiting, without waiting for more.
void PumpPending();

} // namespace testsupport
