#include "host/last_data_record.h"

#include <algorithm>
#include <array>

#include "support/framing.h"

namespace tavorline {
namespace {

enum class From { Request, Response };

struct Field {
    From from;
    std::size_t index;  // into the request or response field list
    int width;
};

// Bytes 1..86, then blanks to 300.
constexpr std::array<Field, 11> kFirstHalf{{{From::Request, 1, 2},
                                            {From::Request, 2, 8},
                                            {From::Request, 3, 1},
                                            {From::Response, 26, 24},
                                            {From::Response, 27, 4},
                                            {From::Request, 6, 2},
                                            {From::Request, 7, 9},
                                            {From::Request, 9, 12},
                                            {From::Request, 10, 6},
                                            {From::Request, 12, 9},
                                            {From::Request, 13, 9}}};
// Bytes 301..582, then blanks to 600.
constexpr std::array<Field, 15> kSecondHalf{{{From::Response, 2, 1},
                                             {From::Response, 3, 1},
                                             {From::Response, 4, 4},
                                             {From::Response, 7, 4},
                                             {From::Response, 8, 3},
                                             {From::Response, 9, 4},
                                             {From::Response, 10, 13},
                                             {From::Response, 11, 12},
                                             {From::Response, 12, 12},
                                             {From::Response, 16, 14},
                                             {From::Response, 17, 15},
                                             {From::Response, 18, 14},
                                             {From::Response, 19, 1},
                                             {From::Response, 20, 64},
                                             {From::Response, 22, 120}}};
constexpr int kHalf = 300;

template <std::size_t N>
Bytes half(const std::array<Field, N>& layout, const std::vector<Bytes>& request,
           const std::vector<Bytes>& response) {
    Bytes text;
    for (const Field& field : layout) {
        const auto& list = field.from == From::Request ? request : response;
        const BytesView value =
            field.index < list.size() ? BytesView(list[field.index]) : BytesView();
        text += Pad_Right(value, field.width);
    }
    return Pad_Right(text, kHalf);
}

}  // namespace

Bytes buildLastDataRecord(const std::vector<Bytes>& request, const std::vector<Bytes>& response) {
    return half(kFirstHalf, request, response) + half(kSecondHalf, request, response);
}

Bytes storableLastData(BytesView record) {
    Bytes stored(record);
    std::replace_if(
        stored.begin(), stored.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; },
        ' ');
    return stored;
}

bool isRecordedTransaction(BytesView code) {
    static constexpr std::array<BytesView, 18> kCodes = {"D1", "D2", "D3", "D4", "d1", "d2",
                                                         "d3", "d4", "B1", "B2", "E1", "E2",
                                                         "E3", "E4", "M1", "M2", "M3", "M4"};
    return std::find(kCodes.begin(), kCodes.end(), code) != kCodes.end();
}

}  // namespace tavorline
