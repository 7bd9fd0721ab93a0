#pragma once
// An in-process driver double: records every call with its arguments and answers from a
// script (bytes for reads, statuses, the board list byte, the handle, download results).

#include "board/DriverApi.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace tq::board::testing {

struct Call {
    std::string entry;
    std::vector<int64_t> args;  // integer arguments in order, pointers left out
    std::vector<uint8_t> bytes; // what the buffer or path pointer held at the call
    std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now();
};

class RecordingDriver final : public DriverApi {
public:
    std::vector<Call> calls;
    std::deque<std::vector<uint8_t>> replies; // bytes written into read buffers, in order
    std::deque<int16_t> statuses;             // request statuses in order; then 0
    uint8_t boardId = 7;
    int32_t handle = 0x1234;
    int16_t connectResult = 0;
    int16_t downloadResult = 0;
    int16_t loadFirmWareResult = 1;

    int16_t Search_For_Boards(int32_t vendorId, int32_t productId, int32_t* count,
                              uint8_t* boardList) override {
        calls.push_back(
            {"Search_For_Boards", {vendorId, productId, *count}, {boardList, boardList + 128}});
        *count = 1;
        boardList[0] = boardId;
        return 1;
    }
    int16_t Connect(int32_t vendorId, int32_t productId, uint8_t board, int32_t* out) override {
        calls.push_back({"Connect", {vendorId, productId, board}, {}});
        *out = handle;
        return connectResult;
    }
    int16_t Download_Firmware(int32_t h, uint8_t* pathBytes) override {
        calls.push_back({"Download_Firmware", {h}, terminated(pathBytes)});
        return downloadResult;
    }
    int16_t Vendor_Request(int32_t h, uint8_t request, int32_t value, int32_t index,
                           uint8_t direction, int32_t length, uint8_t* buffer) override {
        calls.push_back({"Vendor_Request",
                         {h, request, value, index, direction, length},
                         held(buffer, length)});
        return answer(direction, length, buffer);
    }
    int16_t LoadFirmWare(uint8_t* pathBytes) override {
        calls.push_back({"LoadFirmWare", {}, terminated(pathBytes)});
        return loadFirmWareResult;
    }
    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t* buffer) override {
        calls.push_back(
            {"VendorIORequest", {request, value, index, direction, length}, held(buffer, length)});
        return answer(direction, length, buffer);
    }

private:
    static std::vector<uint8_t> terminated(const uint8_t* p) {
        std::vector<uint8_t> v;
        do
            v.push_back(*p);
        while (*p++ != 0);
        return v;
    }
    // A transfer of length 0 still passes a one-byte buffer; record that byte.
    static std::vector<uint8_t> held(const uint8_t* p, int32_t length) {
        return {p, p + std::max(length, 1)};
    }
    int16_t answer(int direction, int32_t length, uint8_t* buffer) {
        if (direction == 1 && length > 0 && !replies.empty()) {
            const auto& r = replies.front();
            std::copy_n(r.begin(), std::min<std::size_t>(r.size(), length), buffer);
            replies.pop_front();
        }
        if (statuses.empty()) return 0;
        const int16_t s = statuses.front();
        statuses.pop_front();
        return s;
    }
};

} // namespace tq::board::testing
