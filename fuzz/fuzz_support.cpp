// Shared pieces of the fuzz targets, and the notice seam, which stays silent: a notice is a
// normal outcome for a bad input, not a finding.
#include "fuzz_support.h"

#include "link/link.h"
#include "platform/notice.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {
std::string Scratch;

void RemoveScratch() {
    std::error_code error;
    std::filesystem::remove_all(Scratch, error);
}
} // namespace

int ShowNotice(std::string_view, std::string_view, unsigned) {
    return 1;
}

bool LoadRing(const uint8_t* data, size_t size) {
    if (size > RX_RING_SIZE - 1)
        return false;
    RxWriteIndex.store(FUZZ_RING_START);
    RxReadIndex.store(FUZZ_RING_START);
    for (size_t i = 0; i < size; ++i)
        RxStoreByte(data[i]);
    return true;
}

const std::string& ScratchDir() {
    if (!Scratch.empty())
        return Scratch;
    std::error_code error;
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path();
    Scratch = (base / ("mq6-fuzz-" + std::to_string(getpid()))).string();
    std::filesystem::remove_all(Scratch, error);
    if (!std::filesystem::create_directories(Scratch, error))
        FuzzFail("the scratch directory can be made");
    std::atexit(RemoveScratch);
    return Scratch;
}

void FuzzFail(const char* promise) {
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
}

namespace {
bool Terminated(const std::array<char, CANDIDATE_TEXT_SIZE>& text) {
    return strnlen(text.data(), text.size()) < text.size();
}
} // namespace

void CheckListAgreesWithSearch(const PortCandidate* list, int count, int search, const char* found,
                               const char* firstPromise) {
    const PortCandidate* first = nullptr;
    for (int i = 0; i < count; ++i) {
        const PortCandidate& candidate = list[i];
        if (!Terminated(candidate.location) || !Terminated(candidate.product) ||
            !Terminated(candidate.serial) || !Terminated(candidate.port))
            FuzzFail("candidate texts are terminated");
        if (first == nullptr && candidate.named && candidate.attached)
            first = &candidate;
    }
    if (first != nullptr && (search != 0 || std::strcmp(first->port.data(), found) != 0))
        FuzzFail(firstPromise);
    if (first == nullptr && count < MAX_PORT_CANDIDATES && search == 0)
        FuzzFail("the search finds only a unit that the list shows attached");
}

bool Within(int32_t value, int32_t low, int32_t high) {
    return value >= low && value <= high;
}

bool SameSetupFields(const SetupRecord& a, const SetupRecord& b) {
    if (a.StoichAfr != b.StoichAfr || a.SetupFlags != b.SetupFlags || a.NbOffset != b.NbOffset)
        return false;
    for (size_t channel = 0; channel < a.Channel.size(); ++channel) {
        const ChannelSetup& x = a.Channel[channel];
        const ChannelSetup& y = b.Channel[channel];
        if (x.Volts1 != y.Volts1 || x.Afr1 != y.Afr1 || x.Volts2 != y.Volts2 || x.Afr2 != y.Afr2 ||
            x.ResponseValue != y.ResponseValue)
            return false;
    }
    return true;
}
