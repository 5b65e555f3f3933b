#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>

#include "app/web_bridge.h"
#include "app/web_bridge_frame.h"

namespace tavorline {

// The web screen's window messages over a Unix domain socket (the protocol is
// in docs/web-bridge.md; the frames in app/web_bridge_frame.h).
//
// A text sent to the web screen is synchronous, as SendMessage is: send()
// returns once the web window has replied, or after the reply time-out, when
// the window is taken for hung and its connection closed. While send() waits
// it reads only the connection it waits on, and delivers the messages that
// window sends meanwhile (nested delivery: the web screen may ask for the last
// data while it handles a text). Other connections are not read until the
// send is over: their messages run as events of their own, never inside a
// payment step or inside another window's request. No other event (timer,
// serial line, host) runs during the wait either.
//
// Only the user who runs the gateway can connect: the socket file is 0700,
// and a peer of another user is turned away all the same.
class LocalWebBridge : public QObject, public WebBridge {
    Q_OBJECT

public:
    using WebHandleHandler = std::function<void(std::uint64_t handle)>;
    using CopyDataHandler = std::function<void(BytesView block)>;
    using Diagnostics = std::function<void(const QString& line)>;

    static constexpr char kSocketFileName[] = "Tavorline.sock";
    // Sends a window cannot nest deeper than this (a well-behaved one nests
    // one or two); a window that does is closed.
    static constexpr int kMaxNestedSends = 8;
    // Unsent bytes a connection may pile up before it counts as not reading.
    static constexpr qint64 kMaxUnsentBytes = 1 << 20;

    explicit LocalWebBridge(QObject* parent = nullptr);
    ~LocalWebBridge() override;
    LocalWebBridge(const LocalWebBridge&) = delete;
    LocalWebBridge& operator=(const LocalWebBridge&) = delete;

    // DIR/Tavorline.sock.
    static std::filesystem::path defaultSocketPath(const std::filesystem::path& programFolder);

    // WM_WEBHANDLE: the handle a window registered. WM_COPYDATA: the data
    // block as received (the receiver reads it up to its first NUL). The
    // handlers must not throw; one that does is logged and answered anyway.
    void setWebHandleHandler(WebHandleHandler handler);
    void setCopyDataHandler(CopyDataHandler handler);
    // One line for each fault: a refused peer, a malformed frame, a window
    // that did not answer, a socket that cannot be set up.
    void setDiagnostics(Diagnostics diagnostics);
    // How long send() waits for a window's reply, nested delivery included
    // (default 3 s; see webReplyTimeout()).
    void setReplyTimeout(std::chrono::milliseconds timeout);

    // Listens at `socketPath`, replacing a socket file that nobody listens on
    // (left by a gateway that did not end cleanly). Refuses, with a diagnostic
    // line, when another gateway listens there or another kind of file is in
    // the way. The socket file is removed by close().
    bool listen(const std::filesystem::path& socketPath);
    bool isListening() const { return server_.isListening(); }
    // Stops listening and closes every connection.
    void close();

    // WebBridge: to the connection that registered `webHandle` most recently.
    void send(std::uint64_t webHandle, BytesView text) override;

private:
    struct Link;
    using LinkPtr = std::shared_ptr<Link>;
    class WaitScope;
    class DispatchScope;

    void acceptConnections();
    bool peerIsOurUser(qintptr descriptor, QString& who) const;
    void onReadyRead(const LinkPtr& link);
    void onDisconnected(const LinkPtr& link);
    void takeBytes(Link& link);
    void handleFrames(const LinkPtr& link);
    void watchPartialMessage(const LinkPtr& link, bool messageCompleted);
    bool deliverNext(const LinkPtr& link);
    void dispatch(const LinkPtr& link, const BridgeFrame& frame);
    template <typename Call>
    void runHandler(const char* what, Call&& call);
    void awaitReply(const LinkPtr& link, int answeredAt,
                    std::chrono::steady_clock::time_point deadline, std::uint64_t webHandle);
    void waitForBytes(Link& link, std::chrono::steady_clock::duration left);
    void write(const LinkPtr& link, BytesView frame);
    void drop(LinkPtr link, const QString& reason);
    LinkPtr registeredLink(std::uint64_t webHandle) const;
    bool mayDeliver() const { return dispatching_ == 0 && waiting_ == 0; }
    void wantPump();
    void pumpIfIdle();
    void pump();
    void diagnose(const QString& line) const;

    QLocalServer server_;
    WebHandleHandler onWebHandle_;
    CopyDataHandler onCopyData_;
    Diagnostics diagnostics_;
    std::chrono::milliseconds replyTimeout_{3000};

    std::map<std::uint64_t, LinkPtr> links_;
    std::unordered_map<std::uint64_t, std::weak_ptr<Link>> windows_;
    std::uint64_t nextLinkNumber_ = 1;
    // Message handlers running, and sends waiting for a reply.
    int dispatching_ = 0;
    int waiting_ = 0;
    // The outermost send's deadline: nested sends never wait beyond it.
    std::chrono::steady_clock::time_point deadline_{};
    // Frames may wait in a connection that nobody reads while a send waits.
    bool pumpWanted_ = false;
    bool pumpQueued_ = false;
};

}  // namespace tavorline
