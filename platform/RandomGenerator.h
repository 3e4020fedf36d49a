#pragma once

// The process's pseudo-random generator (`random`), seeded from the system's random device.
namespace RandomGenerator {

// Seeds the generator afresh from the system's random device.
void seedFromSystem();
// The generator's next value, from 0 to 2^31 - 1.
[[nodiscard]] long next();

} // namespace RandomGenerator
