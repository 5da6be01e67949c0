// Echo packets and the reply record: a request carries what it was built from and its
// checksum verifies; the reply buffer is written within its size, and reads back as written.

#include <algorithm>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/check.h"
#include "platform/icmp/packets.h"

namespace {

// The Internet checksum the long way: 16-bit big-endian words, an odd byte padded with zero,
// summed with end-around carry.
std::uint16_t ReferenceChecksum(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        sum += std::uint64_t{bytes[i]} << 8 | (i + 1 < bytes.size() ? bytes[i + 1] : 0);
    }
    while (sum > 0xFFFF) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto identifier = input.ConsumeIntegral<std::uint16_t>();
    const auto sequence = input.ConsumeIntegral<std::uint16_t>();
    const std::vector<std::uint8_t> payload = input.ConsumeBytes<std::uint8_t>(
        input.ConsumeIntegralInRange<std::size_t>(0, input.remaining_bytes() / 2));

    const std::vector<std::uint8_t> request = platform::EchoRequest(identifier, sequence, payload);
    CHECK(request.size() == 8 + payload.size() && request[0] == 8 && request[1] == 0);
    CHECK((request[4] << 8 | request[5]) == identifier &&
          (request[6] << 8 | request[7]) == sequence);
    CHECK(std::equal(payload.begin(), payload.end(), request.begin() + 8));
    CHECK(platform::InternetChecksum(request) == 0 && ReferenceChecksum(request) == 0);
    CHECK(platform::InternetChecksum(payload) == ReferenceChecksum(payload));

    // A reply buffer of any size that holds the fixed part, exactly that large on the heap so
    // that a write past its end is caught.
    platform::EchoOutcome outcome;
    outcome.status = input.ConsumeBool() ? IP_SUCCESS : input.ConsumeIntegral<std::int32_t>();
    outcome.source = input.ConsumeIntegral<std::uint32_t>();
    outcome.ttl = input.ConsumeIntegral<std::uint8_t>();
    outcome.tos = input.ConsumeIntegral<std::uint8_t>();
    outcome.flags = input.ConsumeIntegral<std::uint8_t>();
    const auto roundTripTime = input.ConsumeIntegral<std::int32_t>();
    const auto bufferSize = input.ConsumeIntegralInRange<std::size_t>(
        platform::kEchoReplyFixedSize, platform::kEchoReplyFixedSize + 300);
    const std::vector<std::uint8_t> echoed = input.ConsumeRemainingBytes<std::uint8_t>();
    outcome.data = echoed;
    std::vector<std::uint8_t> buffer(bufferSize, 0xA5);
    platform::WriteReplyBuffer(buffer, outcome, roundTripTime);

    const platform::EchoReplyFixedPart part = platform::ReadFixedPart(buffer.data());
    const bool success = outcome.status == IP_SUCCESS;
    const std::size_t kept =
        success ? std::min(echoed.size(), bufferSize - platform::kEchoReplyFixedSize) : 0;
    CHECK(part.Address == static_cast<std::int32_t>(outcome.source));
    CHECK(part.Status == outcome.status && part.RoundTripTime == (success ? roundTripTime : 0));
    CHECK(part.DataSize == static_cast<std::int16_t>(kept) && part.Reserved == 0);
    CHECK(part.DataPointer == static_cast<std::int32_t>(platform::kEchoReplyFixedSize));
    CHECK(part.Ttl == outcome.ttl && part.Tos == outcome.tos && part.Flags == outcome.flags);
    CHECK(part.OptionsSize == 0 && part.OptionsData == 0);
    const auto dataArea = buffer.begin() + platform::kEchoReplyFixedSize;
    CHECK(std::equal(echoed.begin(), echoed.begin() + static_cast<std::ptrdiff_t>(kept), dataArea));
    CHECK(std::all_of(dataArea + static_cast<std::ptrdiff_t>(kept), buffer.end(),
                      [](std::uint8_t byte) { return byte == 0xA5; }));

    // The fixed part written back from what was read gives the same 28 bytes.
    std::vector<std::uint8_t> again(platform::kEchoReplyFixedSize);
    platform::WriteFixedPart(part, again.data());
    CHECK(std::equal(again.begin(), again.end(), buffer.begin()));
    return 0;
}
