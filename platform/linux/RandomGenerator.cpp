#include "platform/RandomGenerator.h"

#include <cstdlib>
#include <ctime>
#include <sys/random.h>
#include <unistd.h>

namespace RandomGenerator {

void seedFromSystem()
{
    unsigned int seed = 0;
    if (getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed))
        seed = static_cast<unsigned int>(time(nullptr)) ^ static_cast<unsigned int>(getpid());
    srandom(seed);
}

long next()
{
    return random();
}

} // namespace RandomGenerator
