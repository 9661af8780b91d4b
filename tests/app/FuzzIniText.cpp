// Fuzz target: version-file text from the update server through the INI model and
// the version comparison.
#include "app/IniEx.h"
#include "app/UpdateCheck.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    CPrivateProfile profile;
    profile.ParseText(text);
    const QString version = profile.GetString("KQ_NFC Programmer", "Version", {});
    const QString build = profile.GetString("KQ_NFC Programmer", "Build", {});
    CUpdateCheck::IsNewerVersion("1.05", "2024-01-01", version, build);
    CUpdateCheck::VersionToNumber(text);
    for (const CSection& s : profile.Sections()) {
        if (s.keys.size() != s.values.size()) std::abort();
        if (profile.FindSection(s.name) < 0) std::abort();
    }
    return 0;
}
