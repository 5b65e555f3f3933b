#include "payment_e2e.h"

#include <algorithm>

#include "e2e_support.h"
#include "support/framing.h"

namespace tavorline::e2e {

std::string requestFrame(std::string_view transaction) {
    constexpr char FS = '\x1C';
    std::string body = "PY20250101" + std::string(transaction);
    for (const std::string_view field :
         {std::string_view("TVL00001"), kCard, std::string_view("00"),
          std::string_view("000015000"), std::string_view("000000000"),
          std::string_view("000000001364")}) {
        body += FS;
        body += field;
    }
    return Make_Frame(body);
}

bool isWholeFrame(std::string_view frame) {
    const std::size_t etx = frame.find('\x03');
    return !frame.empty() && frame[0] == '\x02' && etx != std::string_view::npos &&
           etx + 2 == frame.size() && Calc_Check(frame.substr(1, etx))[0] == frame.back();
}

std::string responseField(std::string_view frame, int number) {
    // The header and fields 6..13 end with FS, field 14 with SI, the rest with FS.
    std::string body(frame.substr(1, frame.find('\x03') - 1));
    std::replace(body.begin(), body.end(), '\x0F', '\x1C');
    int current = 5;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = body.find('\x1C', start);
        if (current == number) return body.substr(start, end - start);
        if (end == std::string::npos) return {};
        start = end + 1;
        ++current;
    }
}

std::vector<std::string> logLines(std::string_view log, std::string_view tag) {
    std::string prefix = "[" + std::string(tag);
    prefix.resize(5, ' ');
    prefix += ' ';
    constexpr std::size_t kStampLength = 15;  // "[TAG  hh:nn:ss]"
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find("\r\n", start);
        if (end == std::string_view::npos) end = log.size();
        const std::string_view line = log.substr(start, end - start);
        if (line.starts_with(prefix) && line.size() >= kStampLength) {
            lines.emplace_back(line.substr(kStampLength));
        }
        start = end + 2;
    }
    return lines;
}

bool lineCheckAnswered(PtyPair& line) {
    const std::string answer(3, '\x06');
    for (int attempt = 1; attempt <= 10; ++attempt) {
        line.send(Make_Frame("LC"));
        std::string received = line.receive(answer.size(), 1s);
        if (received.size() >= answer.size()) {
            // A late answer to an earlier attempt belongs to no call.
            if (attempt > 1) received += line.receiveFor(500ms);
            return received.find_first_not_of('\x06') == std::string::npos;
        }
    }
    return false;
}

std::vector<std::string> hostSimArguments(std::string_view mode, bool tls,
                                          std::vector<std::string> extra) {
    std::vector<std::string> arguments{program("host-sim"), "--mode", std::string(mode), "--once",
                                       "--timeout",         "15"};
    if (tls) arguments.push_back("--tls");
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return arguments;
}

}  // namespace tavorline::e2e
