// The flat KQLMX_ functions of the LAN readers' network modules.
#include "kqlmx.h"

#include "reader/sdk/FlatCall.h"
#include "reader/sdk/MultiString.h"

#include <cstdint>
#include <cstdio>
#include <string>

using kq::App;

namespace {

// A text argument; values below 0x10000 name string resources elsewhere, never text.
bool IsText(const char* text) {
    return reinterpret_cast<uintptr_t>(text) >= 0x10000;
}

std::string TextOrEmpty(const char* text) {
    return IsText(text) ? std::string(text) : std::string();
}

// Copies into a caller's buffer of the documented size, never beyond it.
void CopyText(char* out, size_t size, const std::string& text) {
    if (out) std::snprintf(out, size, "%s", text.c_str());
}

int FindLanReaders(char* buf, int size, bool checkType) {
    return kq::WriteMultiString(App().DiscoverLanReaders(checkType), buf, size);
}

} // namespace

extern "C" {

int KQLMX_FindLanReaders(char* buf, int size) {
    return FindLanReaders(buf, size, false);
}

int KQLMX_FindLanReadersEx(char* buf, int size) {
    return FindLanReaders(buf, size, true);
}

int KQLMX_ReadLanConfig(const char* reader, char* nameOut, char* addressOut, char* maskOut,
                        char* gatewayOut) {
    if (!IsText(reader)) return -1;
    kq::CKQ_LMX_SDKApp::LanConfigTexts texts;
    const int result = App().ReadLanConfig(reader, texts);
    if (result != 0) return result;
    // Each text goes only into its own buffer: the name is longer than the address
    // buffer holds, so it never stands in for a missing address.
    CopyText(nameOut, 25, texts.name);
    CopyText(addressOut, 22, texts.address);
    CopyText(maskOut, 16, texts.mask);
    CopyText(gatewayOut, 16, texts.gateway);
    return 0;
}

int KQLMX_WriteLanConfig(const char* reader, const char* address, const char* mask, const char* gateway) {
    // No reader text reaches no module (the open fails before any datagram), but the
    // call still tells its own reason: the code of an earlier call must not stand.
    return App().ConfigureLanReader(TextOrEmpty(reader), TextOrEmpty(address), TextOrEmpty(mask),
                                    TextOrEmpty(gateway));
}

int KQLMX_GetLanConfigError(void) {
    return App().LanConfigError();
}

int KQLMX_CheckLanReader(const char* reader) {
    return IsText(reader) ? App().CheckLanReader(reader) : 0;
}

} // extern "C"
