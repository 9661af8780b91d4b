// The socket of a LAN reader port. In stream mode it is the TCP connection to the
// reader: it connects (through the adapter that reaches the reader), sends frames,
// reconnects when the connection was closed, and hands every received byte to its
// owner. In datagram mode it speaks the network module's UDP protocol on the calling
// thread: discovery, block reads and writes, identity, address set-up and apply.
// The socket also keeps the host's adapter list and the local address in use.
#pragma once

#include "platform/Socket.h"
#include "reader/transport/ReaderFrame.h"
#include "reader/transport/ReceiveSink.h"

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kq {

class CTCPSocket {
public:
    struct CAdapter {
        std::string address;
        std::string mask;
        int index = -1;
    };

    // A connect that the peer neither takes nor refuses gives up after this time.
    static constexpr int kConnectTimeoutMs = 5000;
    // Waits that restart on every datagram end after this time in all.
    static constexpr int kDatagramWaitCapMs = 5000;
    static constexpr int kDefaultTcpPort = 10001;

    CTCPSocket() = default;
    CTCPSocket(const CTCPSocket&) = delete;
    CTCPSocket& operator=(const CTCPSocket&) = delete;

    void SetOwner(ReceiveSink* owner) { owner_ = owner; }
    // A descriptor that, once readable, ends a reconnect under way (the link closing).
    void SetStopFd(int fd) { stopFd_ = fd; }

    // --- adapters ---------------------------------------------------------------
    // Fills the adapter list; true when it holds at least one address.
    bool ListAdapters();
    const std::vector<CAdapter>& Adapters() const { return adapters_; }
    // The local address becomes the first adapter's (false when there is none) or the
    // one after the current (false at the end).
    bool FirstAdapter();
    bool NextAdapter();
    // The adapter that reaches `host` on its own subnet, else the first one.
    void ChooseLocalAddress(const std::string& host);
    const std::string& LocalAddress() const { return localAddress_; }

    // A bracketed reader name (from '[' through the next ']') becomes the "a.b.c.d-port"
    // its module reports (empty when none answers); other texts stay as they are.
    std::string ResolveAddressText(const std::string& text);

    // --- stream mode (on the link thread) ----------------------------------------
    // Resolves the address text, creates the socket (6 attempts, 200 ms apart) and
    // connects (again on address-in-use, 6 attempts in all).
    bool Connect(const std::string& addressText);
    // Reconnects when a close was noticed (false when that fails).
    bool EnsureConnected();
    // EnsureConnected, then the send; a failed send runs the close.
    bool SendFrame(std::span<const uint8_t> frame);
    // The receive notification: takes what waits and hands it to the owner; the peer
    // closing (or an error) runs the close.
    void OnReceive();
    // The close notification: not connected, socket closed.
    void OnClose();
    bool IsConnected() const { return connected_; }
    const std::string& Host() const { return host_; }
    int Port() const { return port_; }

    const platform::Socket& Handle() const { return socket_; }
    bool IsSocketValid() const { return socket_.IsValid(); }
    void CloseSocket() { socket_.Close(); }

    // --- datagram mode (on the calling thread) -----------------------------------
    // A UDP socket on the current local address for the module at `moduleAddress`.
    bool CreateUdpSocket(const std::string& moduleAddress);
    const std::string& ModuleAddress() const { return moduleAddress_; }
    void SetModuleAddress(const std::string& address) { moduleAddress_ = address; }
    // Block n (0-15); block 0 is read with the discovery request. The answer must come
    // from the module's address.
    bool ReadBlock(int n, Bytes& data, bool toBroadcast);
    bool WriteBlock(int n, const Bytes& data);
    bool ReadIdentity(Bytes& data);
    bool SendAddressSetup(const Bytes& setup, bool longForm);
    bool SendApply();
    // One discovery on the current adapter; entries join `list` sorted and without
    // duplicates. With `checkType` only modules whose block 2 names a reader stay, by
    // name alone when they were listed by name. Answers the entries in `list`.
    int DiscoverOnAdapter(std::vector<std::string>& list, int timeoutMs, bool checkType);
    // "a.b.c.d-port" of the module that answers with the bracketed `name`, or empty.
    std::string ResolveLanName(const std::string& name, int timeoutMs);
    std::string ResolveLanNameOnAdapters(const std::string& name, int timeoutMs);

private:
    struct Datagram {
        std::string sender;
        uint8_t code = 0;
        Bytes data;
    };
    bool SendRequest(const Bytes& request, bool toBroadcast);
    // The receive notification of datagram mode: every waiting datagram not sent from
    // the local address joins the queue.
    void ReceiveDatagrams();
    std::optional<Datagram> TakeDatagram();
    // Until an accepted datagram, 500 ms without any, or the cap.
    bool AwaitAnswer(const std::function<bool(const Datagram&)>& accept, Bytes& data);

    ReceiveSink* owner_ = nullptr;
    int stopFd_ = -1;
    platform::Socket socket_;
    std::string host_;
    int port_ = kDefaultTcpPort;
    bool connected_ = false;
    std::string localAddress_;
    std::vector<CAdapter> adapters_;
    bool udpOpen_ = false;
    std::string moduleAddress_;
    std::mutex datagramLock_;
    std::deque<Datagram> datagrams_;
};

// Inserts `entry` into the ascending `list` unless it is there already.
void InsertSortedUnique(std::vector<std::string>& list, const std::string& entry);

} // namespace kq
