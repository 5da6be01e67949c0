#include "platform/icmp/helper_protocol.h"

#include <algorithm>

namespace platform {

namespace {

constexpr std::uint8_t kMagic[4] = {'N', 'V', 'E', '1'};

void Put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::uint32_t Get(std::span<const std::uint8_t> in, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value |= std::uint32_t{in[at + static_cast<std::size_t>(i)]} << (8 * i);
    }
    return value;
}

}  // namespace

std::vector<std::uint8_t> EncodeHelperRequest(const HelperRequest& request) {
    std::vector<std::uint8_t> message(std::begin(kMagic), std::end(kMagic));
    message.reserve(kHelperRequestHeaderSize + request.data.size());
    Put(message, request.destination, 4);
    Put(message, request.timeoutMs, 4);
    Put(message, request.ttl, 1);
    Put(message, request.tos, 1);
    Put(message, static_cast<std::uint32_t>(request.data.size()), 2);
    message.insert(message.end(), request.data.begin(), request.data.end());
    return message;
}

std::optional<HelperRequest> DecodeHelperRequest(std::span<const std::uint8_t> message) {
    if (message.size() < kHelperRequestHeaderSize ||
        !std::ranges::equal(message.first(4), kMagic) ||
        Get(message, 14, 2) != message.size() - kHelperRequestHeaderSize) {
        return std::nullopt;
    }
    HelperRequest request;
    request.destination = Get(message, 4, 4);
    request.timeoutMs = Get(message, 8, 4);
    request.ttl = static_cast<std::uint8_t>(message[12]);
    request.tos = static_cast<std::uint8_t>(message[13]);
    request.data = message.subspan(kHelperRequestHeaderSize);
    return request;
}

}  // namespace platform
