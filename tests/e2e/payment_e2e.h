#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the payment end-to-end tests share: the terminal's request, reading
// responses and log lines, starting host-sim.
namespace tavorline::testing {
class PtyPair;
}

namespace tavorline::e2e {

using testing::PtyPair;

// Field 3 of the request, and how the gateway's log shows it: bytes 10..13
// of the card number hidden, the track data after "=" crossed out.
inline constexpr std::string_view kCard = "A4111111111111111=25121011234567";
inline constexpr std::string_view kMaskedCardInLog = "A41111111xxxx1111=XXXXXXXXXXXXXX";

// A request frame with transaction code `transaction` and card kCard.
std::string requestFrame(std::string_view transaction);

// STX .. ETX and a correct check byte, nothing after.
bool isWholeFrame(std::string_view frame);
// Field `number` (6..34) of a response frame.
std::string responseField(std::string_view frame, int number);

// The lines of the daily log with `tag`, each without its "[TAG  hh:nn:ss]".
std::vector<std::string> logLines(std::string_view log, std::string_view tag);

// A line check until the gateway answers it (three ACK): the gateway shows
// its idle status before it empties its input at start, so the terminal's
// first bytes may be dropped. False when it never answers.
bool lineCheckAnswered(PtyPair& line);

// host-sim serving one call in `mode`, with these extra options.
std::vector<std::string> hostSimArguments(std::string_view mode, bool tls,
                                          std::vector<std::string> extra = {});

}  // namespace tavorline::e2e
