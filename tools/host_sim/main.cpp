// host-sim: a payment host for the Tavorline gateway, for installers and host
// developers. It listens on 127.0.0.1, opens the gateway's requests with the
// destination mode's cipher through libVornLib and answers from a script.
#include <getopt.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "host_sim/host_cipher.h"
#include "host_sim/host_link.h"
#include "host_sim/host_script.h"
#include "sim/errors.h"
#include "sim/readable.h"
#include "sim/usage.h"

namespace {

using namespace tavorline::sim;

constexpr const char* kHelp = R"(Usage: host-sim [OPTION]...
Plays a payment host for the Tavorline gateway: takes the gateway's calls,
opens each request with the destination mode's cipher (through libVornLib,
loaded from beside this program) and answers from a script. Every message is
printed as text and in hex. The first line on standard output is the port
it listens on, so that scripts can read it.

  -m, --mode MODE        the destination mode to speak: CR or LF (SEED text),
                         AD (3DES blocks), FF or VT (in the clear), AR (key
                         exchange, then sealed messages); default LF
  -p, --port N           port to listen on; 0 picks a free one (default 0)
      --listen ADDRESS   IPv4 address to listen on (default 127.0.0.1)
      --tls              TLS, with a throwaway self-signed certificate
      --cert FILE        TLS with this certificate chain (PEM); needs --key
      --key FILE         the private key of --cert (PEM)
  -s, --script FILE      the steps of each call (below); default: the built-in
                         script
      --decline          the built-in script with a decline instead of an approval
      --once             serve one call, then exit with its result
      --wait SECONDS     with --once: how long to wait for the call (default: the
                         --idle-exit time)
  -t, --timeout SECONDS  within a call: how long each step may wait for the
                         gateway before the call fails (default 10)
      --idle-exit SECONDS
                         between calls: exit when no gateway has called for this
                         long, counted from the start or the end of the last
                         call, so that a host-sim whose script died does not
                         stay for ever (default 600; 0: never)
      --rsa-bits N       size of the RSA key of mode AR (default 2048)
  -h, --help             show this help

Script: one step a line; "#" starts a comment.
  request [CODE]     wait for the gateway's request frame and check it; CODE: the
                     transaction code (bytes 11..12 of field 1) it must carry
  approve [NUMBER]   answer the last request with an approval: field 7 "0000",
                     NUMBER (default 12345678) in field 26
  decline [CODE]     answer with a decline: CODE (default 1001) in field 7
  field N TEXT       put TEXT into field N (6..34) of every later answer
  send NAME [COUNT]  COUNT (default 3) of ACK, NAK, DLE, ESC or ENQ as one chunk
                     (sealed in mode AR, as they are otherwise)
  raw HEX            these bytes as one chunk, past the cipher
  noise N            N pseudo-random bytes as one chunk, past the cipher
  ack                wait for the terminal's ACK, which the gateway passes on
  wait MS            pause
  close              hang up now
  end                wait for the gateway to hang up (after the terminal's CCCCC)
The built-in script is: request, approve, ack, send ESC, end.
Every answer and chunk goes out as one write: the gateway takes each read from
the socket as one message. In mode AR every call starts with the key exchange:
the public key (DER), the gateway's wrapped session key, three ACK.

Exit status: 0 every call kept to the script (also when idle for --idle-exit);
1 the gateway broke the protocol or timed out, or no call came with --once;
2 bad command line or script; 3 socket, TLS or library failure.
)";

struct Options {
    DestinationMode mode = DestinationMode::LF;
    int port = 0;
    std::string listen = "127.0.0.1";
    TlsSetup tls;
    std::string scriptFile;
    bool decline = false;
    bool once = false;
    int waitSeconds = -1;
    int timeoutSeconds = 10;
    // Long enough for any pause between the calls of a soak or a demo.
    int idleExitSeconds = 600;
    int rsaBits = 2048;
};

Options parseOptions(int argc, char* argv[]) {
    enum { kListen = 1000, kTls, kCert, kKey, kDecline, kOnce, kWait, kIdleExit, kRsaBits };
    static const option kOptions[] = {{"mode", required_argument, nullptr, 'm'},
                                      {"port", required_argument, nullptr, 'p'},
                                      {"listen", required_argument, nullptr, kListen},
                                      {"tls", no_argument, nullptr, kTls},
                                      {"cert", required_argument, nullptr, kCert},
                                      {"key", required_argument, nullptr, kKey},
                                      {"script", required_argument, nullptr, 's'},
                                      {"decline", no_argument, nullptr, kDecline},
                                      {"once", no_argument, nullptr, kOnce},
                                      {"wait", required_argument, nullptr, kWait},
                                      {"timeout", required_argument, nullptr, 't'},
                                      {"idle-exit", required_argument, nullptr, kIdleExit},
                                      {"rsa-bits", required_argument, nullptr, kRsaBits},
                                      {"help", no_argument, nullptr, 'h'},
                                      {nullptr, 0, nullptr, 0}};
    Options options;
    opterr = 0;
    for (;;) {
        const int c = getopt_long(argc, argv, ":m:p:s:t:h", kOptions, nullptr);
        if (c == -1) break;
        switch (c) {
            case 'm': {
                const auto mode = parseMode(optarg);
                if (!mode) usage(std::string("unknown mode ") + optarg);
                options.mode = *mode;
                break;
            }
            case 'p':
                options.port = numberIn(optarg, "--port", 0, 65535);
                break;
            case kListen:
                options.listen = optarg;
                break;
            case kTls:
                options.tls.enabled = true;
                break;
            case kCert:
                options.tls.certificateFile = optarg;
                options.tls.enabled = true;
                break;
            case kKey:
                options.tls.keyFile = optarg;
                break;
            case 's':
                options.scriptFile = optarg;
                break;
            case kDecline:
                options.decline = true;
                break;
            case kOnce:
                options.once = true;
                break;
            case kWait:
                options.waitSeconds = numberIn(optarg, "--wait", 1, 86400);
                break;
            case 't':
                options.timeoutSeconds = numberIn(optarg, "--timeout", 1, 3600);
                break;
            case kIdleExit:
                options.idleExitSeconds = numberIn(optarg, "--idle-exit", 0, 86400);
                break;
            case kRsaBits:
                options.rsaBits = numberIn(optarg, "--rsa-bits", 2048, 8192);
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
    if (options.tls.certificateFile.empty() != options.tls.keyFile.empty()) {
        usage("--cert and --key go together");
    }
    return options;
}

Script loadScript(const Options& options) {
    if (options.scriptFile.empty()) return builtInScript(!options.decline);
    std::ifstream in(options.scriptFile, std::ios::binary);
    if (!in) usage("cannot read the script " + options.scriptFile);
    std::stringstream text;
    text << in.rdbuf();
    return parseScript(text.str());
}

// One call; false when it went wrong (already reported).
bool serveCall(HostConnection& connection, HostCipher& cipher, const Script& script, int call,
               const Options& options) {
    note(stdout, "== call " + std::to_string(call) + " from " + connection.peer());
    try {
        HostCall(connection, cipher, stdout, options.timeoutSeconds * 1000).run(script);
        cipher.endCall();
        note(stdout, "== call " + std::to_string(call) + " done");
        return true;
    } catch (const ProtocolError& error) {
        cipher.endCall();
        connection.close();
        note(stdout, "== call " + std::to_string(call) + " FAILED: " + error.what());
        std::fprintf(stderr, "host-sim: call %d: %s\n", call, error.what());
        return false;
    }
}

// How long to wait for the next call, in ms; -1 for ever.
int callWaitMs(const Options& options) {
    if (options.once && options.waitSeconds > 0) return options.waitSeconds * 1000;
    return options.idleExitSeconds > 0 ? options.idleExitSeconds * 1000 : -1;
}

int serve(const Options& options, const Script& script) {
    HostCipher cipher(options.mode, options.rsaBits);
    HostListener listener(options.listen, options.port, options.tls);
    std::printf("%d\n", listener.port());
    note(stdout, std::string("host-sim: mode ") + modeName(options.mode) + ", " +
                     (listener.tls() ? "TLS" : "plain TCP") + ", listening on " + options.listen +
                     ":" + std::to_string(listener.port()));
    const int handshakeMs = options.timeoutSeconds * 1000;
    bool allKept = true;
    for (int call = 1;; ++call) {
        std::unique_ptr<HostConnection> connection;
        try {
            connection = listener.accept(callWaitMs(options), handshakeMs);
        } catch (const ProtocolError& error) {
            note(stdout, std::string("== ") + error.what());
            if (options.once) return kExitProtocol;
            allKept = false;
            continue;
        }
        if (!connection && options.once) {
            note(stdout, "== no call came");
            return kExitProtocol;
        }
        if (!connection) {
            note(stdout,
                 "== no call for " + std::to_string(options.idleExitSeconds) + " s: host-sim ends");
            return allKept ? kExitOk : kExitProtocol;
        }
        const bool kept = serveCall(*connection, cipher, script, call, options);
        if (options.once) return kept ? kExitOk : kExitProtocol;
        allKept = allKept && kept;
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    setProgramName("host-sim");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::signal(SIGPIPE, SIG_IGN);
    const Options options = parseOptions(argc, argv);
    try {
        const Script script = loadScript(options);
        return serve(options, script);
    } catch (const ScriptError& error) {
        usage(error.what());
    } catch (const SetupError& error) {
        std::fprintf(stderr, "host-sim: %s\n", error.what());
        return kExitSetup;
    }
}
