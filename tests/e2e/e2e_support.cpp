#include "e2e_support.h"

#include <iconv.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "eventually.h"

namespace tavorline::e2e {

std::string program(std::string_view name) {
    return std::string(TAVORLINE_BIN_DIR) + "/" + std::string(name);
}

SocatPair::SocatPair(const std::filesystem::path& gatewaySide,
                     const std::filesystem::path& terminalSide) {
    socat_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"socat", "pty,raw,echo=0,link=" + gatewaySide.string(),
                                 "pty,raw,echo=0,link=" + terminalSide.string()});
    const auto made = [&] {
        return std::filesystem::exists(gatewaySide) && std::filesystem::exists(terminalSide);
    };
    testing::eventually([&] { return made() || !socat_->running(); }, kSafetyLimit);
    if (!made()) throw std::runtime_error("socat made no pty pair\n" + socat_->transcript());
}

SocatPair::~SocatPair() = default;

std::string cp949(std::string_view utf8) {
    iconv_t converter = ::iconv_open("CP949", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no CP949 converter");
    std::string in(utf8);
    std::string out(in.size() * 2 + 8, '\0');
    char* inPointer = in.data();
    char* outPointer = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t result = ::iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
    ::iconv_close(converter);
    if (result == static_cast<std::size_t>(-1)) throw std::runtime_error("not CP949 text");
    out.resize(out.size() - outLeft);
    return out;
}

void writeVornIni(const std::filesystem::path& home,
                  const std::vector<std::pair<std::string, std::string>>& keys) {
    std::ofstream out(home / "vorn.Ini", std::ios::binary);
    out << "[VORN]\r\n";
    for (const auto& [key, value] : keys) out << key << '=' << value << "\r\n";
}

std::optional<std::string> iniValue(const std::filesystem::path& home, std::string_view key) {
    std::istringstream lines(readBytes(home / "vorn.Ini"));
    std::string line;
    const std::string prefix = std::string(key) + "=";
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::string value = line.substr(prefix.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return std::nullopt;
}

std::string todaysLog(const std::filesystem::path& home) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char name[32];
    std::strftime(name, sizeof name, "log%Y%m%d.txt", &local);
    return readBytes(home / "LOG" / name);
}

bool waitForLog(const std::filesystem::path& home, std::string_view text,
                std::chrono::milliseconds limit) {
    return testing::eventually([&] { return todaysLog(home).find(text) != std::string::npos; },
                               limit);
}

GatewayProcess::GatewayProcess(const std::filesystem::path& home) {
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{program("tavorline"), "--headless", "--home", home.string()});
    ready_ = process_->waitForOutput("대기중");
}

pid_t childPid(std::string_view name) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        if (!std::getline(stat, text)) continue;
        const auto open = text.find('(');
        const auto close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        char state = 0;
        int parent = 0;
        std::istringstream(text.substr(close + 1)) >> state >> parent;
        if (parent == ::getpid() && state != 'Z' &&
            std::string_view(text).substr(open + 1, close - open - 1) == name.substr(0, 15)) {
            return static_cast<pid_t>(std::stol(text));
        }
    }
    return -1;
}

}  // namespace tavorline::e2e
