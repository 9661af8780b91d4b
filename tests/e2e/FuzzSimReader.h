// The simulated reader the tag fuzz targets work against: a simulator in the same
// process, reached through a link that hands each frame straight to it and its answer
// straight back to the port. Nothing goes over the air or a line: no air time, no
// pauses, and an answer is in before the wait looks for it, so the answer wait never
// waits (time-out 0) and detection's field-off pause is set to 0. Built once per
// fuzzing process; a reader that cannot be opened ends it.
#pragma once

#include "kqlmx.h"
#include "reader/sdk/KQ_LMX_SDKApp.h"
#include "reader/tags/NfcTagHandler.h"
#include "reader/transport/PortHandleRegistry.h"
#include "reader/transport/ReaderLink.h"
#include "reader/transport/ReceiveSink.h"
#include "sim/InProcessEndpoint.h"
#include "sim/Simulator.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace kqtest {

class InProcessReaderLink final : public kq::ReaderLink {
public:
    InProcessReaderLink(kq::ReceiveSink& sink, kqsim::Simulator& sim)
        : sink_(sink), endpoint_(sim), handle_(kq::PortHandleRegistry::Serial().Allocate()) {}
    ~InProcessReaderLink() override { Close(); }
    InProcessReaderLink(const InProcessReaderLink&) = delete;
    InProcessReaderLink& operator=(const InProcessReaderLink&) = delete;

    bool IsOpen() const override { return handle_ != 0; }
    int Handle() const override { return handle_; }
    void Send(std::span<const uint8_t> frame) override {
        const kqsim::Bytes answer = endpoint_.send(kqsim::Bytes(frame.begin(), frame.end()));
        if (!answer.empty()) sink_.OnReceive(answer);
    }
    void Discard() override { sink_.DiscardReceived(); }
    void Close() override {
        if (handle_) kq::PortHandleRegistry::Serial().Release(handle_);
        handle_ = 0;
    }

private:
    kq::ReceiveSink& sink_;
    kqsim::InProcessEndpoint endpoint_;
    int handle_;
};

struct FuzzSimReader {
    FuzzSimReader() {
        kq::CNfcTagHandler::SetFieldOffPause(0);
        port = kq::CKQ_LMX_SDKApp::Get().OpenPortOnLink(
            [this](kq::ReceiveSink& sink) { return std::make_unique<InProcessReaderLink>(sink, sim); }, 0);
        if (port <= 0) {
            std::fprintf(stderr, "no simulated reader\n");
            std::abort();
        }
        KQLMX_SetWaitMode(port, 1);
    }
    ~FuzzSimReader() { KQLMX_ClosePort(port); } // the link goes before the simulator
    FuzzSimReader(const FuzzSimReader&) = delete;
    FuzzSimReader& operator=(const FuzzSimReader&) = delete;

    kqsim::Simulator sim;
    int port = -1;
};

} // namespace kqtest
