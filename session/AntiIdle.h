#pragma once

// The anti-idle period in milliseconds: computed without 32-bit wrap-around,
// never below one second, and no longer than the timer can hold.
unsigned AntiIdlePeriodMs(unsigned seconds);
