#include "fakes/FakeProcess.h"

#include "fakes/Fakes.h"

namespace orv::fakes {

std::uint32_t FakeProcess::RandomNumber() {
    if (!randomNumbers.empty()) {
        const std::uint32_t n = randomNumbers.front();
        randomNumbers.pop_front();
        return n;
    }
    return nextRandom++;
}

void FakeProcess::EndNow(std::uint32_t code) {
    ended = true;
    exitCode = code;
    journal_.push_back("end");
    throw ProcessEnded{};
}

} // namespace orv::fakes
