#include "bench/Channel.h"

#include "device/RegisterMap.h"

#include <algorithm>
#include <cctype>

namespace tq::bench {

namespace {
constexpr std::array<std::string_view, 5> kNames{"A", "B", "C", "D", "ALL"};
} // namespace

std::optional<Channel> ChannelFromText(std::string_view text) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        const std::string_view name = kNames[i];
        if (std::ranges::equal(text, name, [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == b;
            }))
            return static_cast<Channel>(i);
    }
    return std::nullopt;
}

std::string_view ChannelName(Channel channel) {
    return kNames[static_cast<std::size_t>(channel)];
}

std::string_view ChannelCaption(Channel channel) {
    return device::AddressItems[static_cast<std::size_t>(channel)].text;
}

int16_t AddressCode(Channel channel) {
    return device::AddressItems[static_cast<std::size_t>(channel)].code;
}

std::span<const Channel> Expand(Channel channel) {
    if (channel == Channel::All) return kChannels;
    return std::span(kChannels).subspan(ChannelIndex(channel), 1);
}

} // namespace tq::bench
