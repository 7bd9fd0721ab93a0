#pragma once
// The converter's four channels and "all of them", as the bench library names them.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tq::bench {

enum class Channel { A, B, C, D, All };

inline constexpr std::array<Channel, 4> kChannels{Channel::A, Channel::B, Channel::C, Channel::D};

// "A".."D" or "ALL", any letter case; nullopt for anything else.
std::optional<Channel> ChannelFromText(std::string_view text);
// "A".."D", "ALL".
std::string_view ChannelName(Channel channel);
// "DAC A".."DAC D", "ALL DACs": the converter's own names of the address codes.
std::string_view ChannelCaption(Channel channel);
// The address code of the input word: 0..3, 4 for all.
int16_t AddressCode(Channel channel);
// 0..3 for A..D. Precondition: channel is not All.
inline std::size_t ChannelIndex(Channel channel) {
    return static_cast<std::size_t>(channel);
}
// The single channels a channel stands for: itself, or A..D for All.
std::span<const Channel> Expand(Channel channel);

} // namespace tq::bench
