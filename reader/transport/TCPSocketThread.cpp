#include "reader/transport/TCPSocketThread.h"

#include "reader/transport/PortHandleRegistry.h"
#include "reader/transport/UiHooks.h"

#include <chrono>
#include <optional>
#include <system_error>

namespace kq {

CTCPSocketThread::CTCPSocketThread(ReceiveSink& owner) : owner_(owner) {
    socket_.SetOwner(&owner);
    socket_.SetStopFd(stopEvent_.Fd());
}

bool CTCPSocketThread::Open(const std::string& addressText) {
    if (IsOpen() || thread_.joinable()) return false;
    BusyCursor busy;
    ActiveWindowDisabled disabled;
    // A reader name is looked up here, on the calling thread, where the discovery's
    // waits may pump the application's events.
    addressText_ = socket_.ResolveAddressText(addressText);
    if (addressText_.empty()) return false;
    connectDone_ = false;
    ended_ = false;
    stop_ = false;
    stopEvent_.Drain();
    try {
        thread_ = std::thread(&CTCPSocketThread::Run, this);
    } catch (const std::system_error&) {
        return false;
    }
    // A thread that ends without its connect-done mark must not leave the open waiting.
    while (!connectDone_ && !ended_)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!connectDone_ || ended_) {
        thread_.join();
        return false;
    }
    handle_ = PortHandleRegistry::Tcp().Allocate();
    return true;
}

void CTCPSocketThread::Run() {
    const bool connected = socket_.Connect(addressText_);
    if (!connected) {
        ended_ = true;
        return;
    }
    connectDone_ = true;
    while (!stop_) {
        // Sleeps until the reader sends, a frame is queued or the link stops: an idle
        // port costs no time. A closed socket is not waited on.
        if (platform::WaitReadable(socket_.Handle(), sendEvent_.Fd(), -1)) {
            socket_.OnReceive();
            // The reader closed the connection while an exchange waited for its answer.
            if (!socket_.IsConnected()) lostExchange_ = sentExchange_.load();
        }
        sendEvent_.Drain();
        std::optional<QueuedFrame> frame;
        {
            std::lock_guard lock(queueLock_);
            if (!queue_.empty()) {
                frame = std::move(queue_.front());
                queue_.pop_front();
                if (!queue_.empty()) sendEvent_.Signal();
            }
        }
        // A frame whose send fails is dropped; its command times out. So is one whose
        // exchange ended while a reconnect held it back.
        if (frame && socket_.EnsureConnected() && frame->exchange == exchange_ &&
            socket_.SendFrame(frame->bytes))
            sentExchange_ = frame->exchange;
    }
    socket_.CloseSocket();
    ended_ = true;
}

bool CTCPSocketThread::QueueFrame(std::span<const uint8_t> frame) {
    {
        std::lock_guard lock(queueLock_);
        queue_.push_back({exchange_, Bytes(frame.begin(), frame.end())});
    }
    sendEvent_.Signal();
    return true;
}

void CTCPSocketThread::Send(std::span<const uint8_t> frame) {
    // A configuration port has no reader behind it: its frames go nowhere.
    if (!udp_) QueueFrame(frame);
}

void CTCPSocketThread::DropUnsent() {
    std::lock_guard lock(queueLock_);
    ++exchange_;
    queue_.clear();
}

void CTCPSocketThread::Discard() {
    DropUnsent();
    owner_.DiscardReceived();
}

void CTCPSocketThread::Stop() {
    stop_ = true;
    stopEvent_.Signal();
    sendEvent_.Signal();
    if (thread_.joinable()) thread_.join();
    socket_.CloseSocket();
    std::lock_guard lock(queueLock_);
    queue_.clear();
}

bool CTCPSocketThread::OpenUdpConfigLink(const std::string& name) {
    if (IsOpen() || thread_.joinable()) return false;
    // Looking the module up on every adapter takes a while: the user sees the wait
    // and cannot start anything else meanwhile.
    BusyCursor busy;
    ActiveWindowDisabled disabled;
    std::string address = socket_.ResolveAddressText(name);
    address = address.substr(0, address.rfind('-'));
    if (address.empty()) return false;
    if (socket_.Adapters().empty()) socket_.ListAdapters();
    for (bool more = socket_.FirstAdapter(); more; more = socket_.NextAdapter()) {
        Bytes block0;
        if (socket_.CreateUdpSocket(address) && socket_.ReadBlock(0, block0, true)) {
            udp_ = true;
            handle_ = PortHandleRegistry::Tcp().Allocate();
            return true;
        }
        socket_.CloseSocket();
    }
    return false;
}

void CTCPSocketThread::Close() {
    Stop();
    udp_ = false;
    if (handle_ != 0) {
        PortHandleRegistry::Tcp().Release(handle_);
        handle_ = 0;
    }
}

} // namespace kq
