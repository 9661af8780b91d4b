// The one reader-layer object of the process: it owns every open reader port (opening
// ports by name and finding the reader's protocol type by its version answer), names
// them by handle, keeps their last errors and owns the tag handler. Ports are shared:
// a call that found a port keeps it alive until it returns, even when the port is
// closed meanwhile.
#pragma once

#include "reader/transport/KQ_LMX_Port.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kq {

class CNfcTagHandler;

class CKQ_LMX_SDKApp {
public:
    static CKQ_LMX_SDKApp& Get();

    ~CKQ_LMX_SDKApp();
    CKQ_LMX_SDKApp(const CKQ_LMX_SDKApp&) = delete;
    CKQ_LMX_SDKApp& operator=(const CKQ_LMX_SDKApp&) = delete;

    // The port's handle (> 0), or -1 (link not opened), -2 (negative time-out),
    // -11 (no protocol type gave a 4-byte version answer). The name may end in ":n".
    int OpenPort(const std::string& name, int baud, int timeoutMs);
    bool ClosePort(int handle);
    void CloseAllPorts();
    // Test equipment in the same process: a port on a link the caller makes, the reader
    // found on it as OpenPort finds it. The handle, or -1 / -2 / -11 as for OpenPort.
    int OpenPortOnLink(const CKQ_LMX_Port::LinkMaker& make, int timeoutMs);

    void AddPort(std::shared_ptr<CKQ_LMX_Port> port);
    void RemovePort(const CKQ_LMX_Port* port);
    // The port with that handle, or nullptr (a handle of 0 or below names none). Ports
    // whose link no longer holds a handle are closed and dropped on the way.
    std::shared_ptr<CKQ_LMX_Port> FindPort(int handle);

    void SetPortError(int handle, int code);
    // The port's last error, 3 when there is no such port.
    int GetPortError(int handle);

    // The tag handler, created by the first tag call and kept.
    CNfcTagHandler& TagHandler();

    // LAN readers' network modules, over UDP on the calling thread (LanReaders.cpp).
    // A configuration port is a listed port whose TCP link holds the UDP socket.
    int OpenLanConfigPort(const std::string& name); // its handle, or -1
    bool CloseLanConfigPort(int handle, bool apply);
    bool ReadLanBlock(int handle, int n, Bytes& data);
    bool WriteLanBlock(int handle, int n, const Bytes& data);
    bool ReadLanIdentity(int handle, Bytes& data);
    bool WriteLanNameToBlock3(int handle, const uint8_t (&secondHalf)[8]);
    // Every adapter's discovery, sorted, without duplicates.
    std::vector<std::string> DiscoverLanReaders(bool checkType);
    struct LanConfigTexts {
        std::string name, address, mask, gateway;
    };
    int ReadLanConfig(const std::string& reader, LanConfigTexts& texts);
    // A text that is no address is refused (-1, LanConfigError) before anything is sent.
    int ConfigureLanReader(const std::string& reader, const std::string& address, const std::string& mask,
                           const std::string& gateway);
    // Why the last ConfigureLanReader refused its texts or failed to have the module
    // take them; 0 when neither.
    int LanConfigError() const { return lanConfigError_; }
    int CheckLanReader(const std::string& name);
    // Block 0 of the module at `reader` holds the set-up's `fields` (port, mask, gateway).
    bool LanSetupShown(const std::string& reader, const Bytes& fields);

private:
    CKQ_LMX_SDKApp();
    std::shared_ptr<CKQ_LMX_Port> OpenLink(const std::string& name, int baud, int timeoutMs, int* failure);
    // Lists the port with its link open and asks for the reader's version in each
    // protocol type: the handle; 0 when the first probe went unanswered and `retry`
    // allows a freshly opened line; else -11 with the port dropped.
    int ProbeReader(const std::shared_ptr<CKQ_LMX_Port>& port, int timeoutMs, bool retry);

    std::recursive_mutex openLock_; // a whole OpenPort; a pumped event may open again
    std::mutex listLock_;           // the port list, only for a list operation
    std::vector<std::shared_ptr<CKQ_LMX_Port>> ports_;
    std::unique_ptr<CNfcTagHandler> tagHandler_;
    int lanConfigError_ = 0;
};

} // namespace kq
