// terminal-sim: a card terminal for the Tavorline gateway, for installers and
// developers without the hardware. It dials on a serial device, names the
// destination, sends one payment request and answers like a terminal does.
#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/errors.h"
#include "sim/readable.h"
#include "sim/usage.h"
#include "terminal_sim/serial_line.h"
#include "terminal_sim/terminal_call.h"

namespace {

using namespace tavorline::sim;

constexpr const char* kHelp = R"(Usage: terminal-sim --device PATH [OPTION]...
Plays a card terminal on a serial line towards the Tavorline gateway: dials,
answers "*DESTINATION:" with the destination line, waits for the seven ENQ,
sends a payment request, prints the response, acknowledges it, waits for the
end of the call (three ESC) and hangs up with "CCCCC". Every message is
printed as text and in hex.

  -d, --device PATH      the serial device: a port such as /dev/ttyUSB0, or one
                         end of a pty pair
      --speed BAUD       line speed (default 9600)
  -m, --mode MODE        how to dial: CR, LF, FF or VT, three of that byte
                         (default LF)
      --dest HOST/PORT   the destination line's host and port ("IP" HOST/PORT and
                         three CR); default: none, the gateway's configured one
      --enq WHEN         wait for the seven ENQ: yes, no, maybe (take them if
                         they come within --settle), or auto (default): yes for
                         LF and FF, maybe for CR, no for VT
      --settle MS        how long to wait when ENQ may not come (default 800)
      --tx CODE          transaction code, bytes 11..12 of field 1 (default D1)
      --code CODE        two-letter message code (default PY); a masked type
                         such as AB is sent masked
      --seed TEXT        the 8-byte seed after the message code
      --card TEXT        field 3: card kind byte, card number, optionally "="
                         and track data (default A4111111111111111=25121011234567)
      --field N=TEXT     field N (2 or more) of the request; may be repeated
      --expect WHAT      approved, declined, response (default: either) or none
                         (the host ends the call without a response)
      --logon            first send the logon (three SI) and check the reply
      --line-check       first send the line check (STX "LC" ETX) and expect three
                         ACK; sent again every second until answered, so that a
                         call can start right after the gateway does
      --no-call          only the logon and line check, no payment
  -t, --timeout SECONDS  how long each step may wait for the gateway (default 10)
  -h, --help             show this help

Exit status: 0 the call ran as expected; 1 the gateway broke the protocol or
timed out; 2 bad command line; 3 the device cannot be used; 4 the outcome was
not the one --expect asked for.
)";

enum class Expect { Response, Approved, Declined, None };

struct Options {
    std::string device;
    int speed = 9600;
    std::string mode = "LF";
    std::string enq = "auto";
    CallPlan plan;
    Expect expect = Expect::Response;
    bool logon = false;
    bool lineCheck = false;
    bool call = true;
    int timeoutSeconds = 10;
};

char dialByte(const std::string& mode) {
    if (mode == "CR") return '\r';
    if (mode == "LF") return '\n';
    if (mode == "FF") return '\f';
    if (mode == "VT") return '\v';
    usage("--mode takes CR, LF, FF or VT, not " + mode);
}

EnqWait enqWait(const std::string& when, const std::string& mode) {
    if (when == "yes") return EnqWait::Required;
    if (when == "no") return EnqWait::None;
    if (when == "maybe") return EnqWait::Maybe;
    if (when != "auto") usage("--enq takes yes, no, maybe or auto");
    if (mode == "CR") return EnqWait::Maybe;
    if (mode == "VT") return EnqWait::None;
    return EnqWait::Required;
}

Expect expectation(const std::string& what) {
    if (what == "response") return Expect::Response;
    if (what == "approved") return Expect::Approved;
    if (what == "declined") return Expect::Declined;
    if (what == "none") return Expect::None;
    usage("--expect takes approved, declined, response or none");
}

void setRequestField(PaymentRequest& request, const std::string& assignment) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string::npos) usage("--field wants N=TEXT");
    const int number = numberIn(assignment.substr(0, equals).c_str(), "--field", 2, 99);
    setField(request, number, assignment.substr(equals + 1));
}

Options parseOptions(int argc, char* argv[]) {
    enum {
        kSpeed = 1000,
        kDest,
        kEnq,
        kSettle,
        kTx,
        kCode,
        kSeed,
        kCard,
        kField,
        kExpect,
        kLogon,
        kLineCheck,
        kNoCall
    };
    static const option kOptions[] = {{"device", required_argument, nullptr, 'd'},
                                      {"speed", required_argument, nullptr, kSpeed},
                                      {"mode", required_argument, nullptr, 'm'},
                                      {"dest", required_argument, nullptr, kDest},
                                      {"enq", required_argument, nullptr, kEnq},
                                      {"settle", required_argument, nullptr, kSettle},
                                      {"tx", required_argument, nullptr, kTx},
                                      {"code", required_argument, nullptr, kCode},
                                      {"seed", required_argument, nullptr, kSeed},
                                      {"card", required_argument, nullptr, kCard},
                                      {"field", required_argument, nullptr, kField},
                                      {"expect", required_argument, nullptr, kExpect},
                                      {"logon", no_argument, nullptr, kLogon},
                                      {"line-check", no_argument, nullptr, kLineCheck},
                                      {"no-call", no_argument, nullptr, kNoCall},
                                      {"timeout", required_argument, nullptr, 't'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {nullptr, 0, nullptr, 0}};
    Options options;
    options.plan.request = sampleRequest();
    opterr = 0;
    for (;;) {
        const int c = getopt_long(argc, argv, ":d:m:t:h", kOptions, nullptr);
        if (c == -1) break;
        switch (c) {
            case 'd':
                options.device = optarg;
                break;
            case kSpeed:
                options.speed = numberIn(optarg, "--speed", 1, 4000000);
                break;
            case 'm':
                options.mode = optarg;
                break;
            case kDest:
                options.plan.destination = optarg;
                break;
            case kEnq:
                options.enq = optarg;
                break;
            case kSettle:
                options.plan.settleMs = numberIn(optarg, "--settle", 0, 60000);
                break;
            case kTx:
                if (std::string(optarg).size() != 2) usage("--tx wants two characters");
                options.plan.request.transactionCode = optarg;
                break;
            case kCode:
                if (std::string(optarg).size() != 2) usage("--code wants two characters");
                options.plan.request.messageCode = optarg;
                break;
            case kSeed:
                if (std::string(optarg).size() != 8) usage("--seed wants eight characters");
                options.plan.request.seed = optarg;
                break;
            case kCard:
                setField(options.plan.request, 3, optarg);
                break;
            case kField:
                setRequestField(options.plan.request, optarg);
                break;
            case kExpect:
                options.expect = expectation(optarg);
                break;
            case kLogon:
                options.logon = true;
                break;
            case kLineCheck:
                options.lineCheck = true;
                break;
            case kNoCall:
                options.call = false;
                break;
            case 't':
                options.timeoutSeconds = numberIn(optarg, "--timeout", 1, 3600);
                break;
            case 'h':
                std::fputs(kHelp, stdout);
                std::exit(kExitOk);
            case ':':
                usage(std::string("option ") + argv[optind - 1] + " needs a value");
            default:
                usage(std::string("unknown option ") + argv[optind - 1]);
        }
    }
    if (optind < argc) usage(std::string("unexpected argument ") + argv[optind]);
    if (options.device.empty()) usage("--device is required");
    options.plan.dialByte = dialByte(options.mode);
    options.plan.enq = enqWait(options.enq, options.mode);
    return options;
}

bool outcomeAsExpected(Outcome outcome, Expect expect) {
    switch (expect) {
        case Expect::Response:
            return outcome != Outcome::NoResponse;
        case Expect::Approved:
            return outcome == Outcome::Approved;
        case Expect::Declined:
            return outcome == Outcome::Declined;
        case Expect::None:
            return outcome == Outcome::NoResponse;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    setProgramName("terminal-sim");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const Options options = parseOptions(argc, argv);
    try {
        SerialLine line(options.device, options.speed);
        TerminalSession session(line, stdout, options.timeoutSeconds * 1000);
        // The line check first: it waits for a gateway that is still starting.
        if (options.lineCheck) session.lineCheck();
        if (options.logon) session.logon();
        if (!options.call) return kExitOk;
        const Outcome outcome = session.pay(options.plan);
        note(stdout, std::string("== payment ") + outcomeName(outcome));
        if (!outcomeAsExpected(outcome, options.expect)) {
            std::fprintf(stderr, "terminal-sim: the payment was %s\n", outcomeName(outcome));
            return kExitOutcome;
        }
        return kExitOk;
    } catch (const SetupError& error) {
        std::fprintf(stderr, "terminal-sim: %s\n", error.what());
        return kExitSetup;
    } catch (const ProtocolError& error) {
        note(stdout, std::string("== FAILED: ") + error.what());
        std::fprintf(stderr, "terminal-sim: %s\n", error.what());
        return kExitProtocol;
    }
}
