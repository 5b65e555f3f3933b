#include "fault_support.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "eventually.h"
#include "payment_e2e.h"

namespace tavorline::e2e {

long cpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skipped;
    // After the name: state and ten more fields, then utime and stime.
    for (int i = 0; i < 11; ++i) fields >> skipped;
    long user = 0;
    long system = 0;
    fields >> user >> system;
    return user + system;
}

long cpuTicksOver(pid_t pid, std::chrono::milliseconds span) {
    const long before = cpuTicks(pid);
    std::this_thread::sleep_for(span);
    return cpuTicks(pid) - before;
}

std::size_t statusCount(const ChildProcess& gateway, std::string_view status) {
    const std::string out = gateway.output();
    std::size_t count = 0;
    for (std::size_t at = out.find(status); at != std::string::npos;
         at = out.find(status, at + status.size())) {
        ++count;
    }
    return count;
}

bool waitForStatusAfter(ChildProcess& gateway, std::string_view first, std::string_view then,
                        std::chrono::milliseconds limit) {
    return testing::eventually(
        [&] {
            const std::string out = gateway.output();
            const std::size_t at = out.rfind(first);
            return at != std::string::npos && out.find(then, at) != std::string::npos;
        },
        limit);
}

void writeFaultIni(const std::filesystem::path& home, const std::string& ecType,
                   const std::vector<std::pair<std::string, std::string>>& extra) {
    std::vector<std::pair<std::string, std::string>> keys{
        {"EcPort", "6"}, {"EcSpeed", "9600"}, {"EcType", ecType}, {"DnAddr", "127.0.0.1"}};
    keys.insert(keys.end(), extra.begin(), extra.end());
    writeVornIni(home, keys);
}

bool dialAndConnect(PtyPair& line, char dial, const std::string& destination, std::string& why) {
    line.send(std::string(3, dial));
    const std::string prompt = line.receive(13);
    if (prompt != "*DESTINATION:") {
        why = "no prompt, got \"" + prompt + "\"";
        return false;
    }
    line.send("IP" + destination + "\r\r\r");
    const std::string enquiries = line.receive(7);
    if (enquiries != std::string(7, '\x05')) {
        why = "no seven ENQ, got " + std::to_string(enquiries.size()) + " bytes";
        return false;
    }
    return true;
}

std::string approvedPayment(const std::filesystem::path& device) {
    ChildProcess host(hostSimArguments("LF", true));
    const std::string port = host.firstLine();
    ChildProcess terminal({program("terminal-sim"), "--device", device.string(), "--line-check",
                           "--mode", "LF", "--dest", "127.0.0.1/" + port, "--expect", "approved",
                           "--timeout", "15"});
    const auto paid = terminal.waitForExit(60s);
    const auto served = host.waitForExit();
    if (paid == 0 && served == 0) return {};
    return terminal.transcript() + host.transcript();
}

std::string approvedPayment(PtyPair& line, Carried carried,
                            const std::vector<std::string>& hostOptions) {
    const bool keyed = carried == Carried::KeyExchange;
    ChildProcess host(hostSimArguments(keyed ? "AR" : "LF", carried == Carried::Tls, hostOptions));
    const int port = std::atoi(host.firstLine().c_str()) - (keyed ? 20000 : 0);
    if (!lineCheckAnswered(line)) return "the line check was never answered";
    std::string why;
    if (!dialAndConnect(line, '\n', "127.0.0.1/" + std::to_string(port), why)) {
        return why + "\n" + host.transcript();
    }
    line.send(requestFrame("D1"));
    const std::string response = line.receiveFrame();
    if (!isWholeFrame(response) || responseField(response, 7) != "0000") {
        return "no approval: \"" + response + "\"\n" + host.transcript();
    }
    line.send("\x06");
    if (line.receive(3) != "\x1b\x1b\x1b") return "the call did not end\n" + host.transcript();
    line.send("CCCCC");
    if (host.waitForExit() != 0) return host.transcript();
    return {};
}

}  // namespace tavorline::e2e
