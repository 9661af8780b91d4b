// A DESFire EV1 card behind an IsoDepTag, written from the public descriptions of the
// card's native commands, their ISO 7816-4 wrapping (90 cmd 00 00 Lc data 00, answer
// data 91 status) and the ISO file commands. It keeps the card master key and the
// applications with their keys, key settings, ISO file ids, DF names and standard data
// files, and does what the card does with them: authentication 0x1A (DES / two-key
// triple DES) and 0xAA (AES) with session keys, CMAC on commands and answers in a
// session, enciphered keys and settings checked by the CRC32 inside, answers in frames
// of 59 bytes (0xAF for more) and commands of at most 60 bytes per frame.
//
// The first byte picks the form: 0x90 wrapped, 0x00 ISO, anything else native. A blank
// card has the DES master key of 16 zero bytes and key settings 0x0F.
#pragma once

#include "CardModel.h"
#include "DesfireCipher.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kqsim {

class DesfireCard : public CardModel {
public:
    // Native status bytes.
    enum Status : std::uint8_t {
        Ok = 0x00,
        OutOfMemory = 0x0E,
        IllegalCommand = 0x1C,
        IntegrityError = 0x1E,
        NoSuchKey = 0x40,
        LengthError = 0x7E,
        PermissionDenied = 0x9D,
        ParameterError = 0x9E,
        ApplicationNotFound = 0xA0,
        AuthenticationError = 0xAE,
        AdditionalFrame = 0xAF,
        BoundaryError = 0xBE,
        CountError = 0xCE,
        DuplicateError = 0xDE,
        FileNotFound = 0xF0,
    };

    struct Key {
        Bytes value = Bytes(16, 0);
        std::uint8_t version = 0;
    };
    struct File {
        std::uint8_t no = 0;
        std::optional<std::uint16_t> isoId;
        std::uint8_t comm = 0;         // 0 plain, 1 MACed, 3 enciphered
        std::uint16_t access = 0xEEEE; // read << 12 | write << 8 | read-write << 4 | change
        Bytes data;
        int read() const { return access >> 12; }
        int write() const { return (access >> 8) & 0xF; }
        int readWrite() const { return (access >> 4) & 0xF; }
        int change() const { return access & 0xF; }
    };
    struct Application {
        std::uint32_t aid = 0;
        std::uint8_t settings = 0x0F;  // key settings 1
        std::uint8_t settings2 = 0x01; // crypto << 6 | ISO ids 0x20 | key count
        std::optional<std::uint16_t> isoId;
        Bytes dfName;
        std::vector<Key> keys;
        std::vector<File> files;
        bool aes() const { return (settings2 & 0xC0) == 0x80; }
        File* file(std::uint8_t no);
    };

    static constexpr std::size_t kMemory = 8192; // user memory of the 8 KB card

    DesfireCard();

    std::string kind() const override { return "desfire"; }
    Bytes ats() const override { return {0x06, 0x75, 0x77, 0x81, 0x02, 0x80}; }
    Bytes processApdu(const Bytes& apdu) override;
    void reset() override;

    // --- for tests and the console ---
    // The card level: its keys[0] is the card master key (AES when aes() says so).
    Application& card() { return apps_.front(); }
    Application* application(std::uint32_t aid);
    // All one application holds (0: the card level), to compare before and after: key
    // settings, keys, and each file's number, ISO id, rights, communication and bytes.
    // Empty when there is no such application.
    Bytes image(std::uint32_t aid);
    std::size_t freeMemory() const;
    // Draws the card's random numbers (RndB); default RAND_bytes.
    void setRandom(std::function<Bytes(std::size_t)> source) { random_ = std::move(source); }
    // The session key of the current authentication, empty when there is none.
    Bytes sessionKey() const { return session_ ? session_->key() : Bytes{}; }
    int authenticatedKey() const { return authKey_; }
    // The next good answer with data goes out with the low bit of its first byte flipped
    // (after its CMAC or encipherment): a plain answer's CMAC no longer fits it, an
    // enciphered one deciphers to garbage.
    void corruptNextAnswer() { corrupt_ = true; }

private:
    Bytes native(const Bytes& frame);
    Bytes wrapped(const Bytes& apdu);
    Bytes iso(const Bytes& apdu);

    Bytes fail(std::uint8_t status);
    // A good answer: the CMAC appended in a session (unless mac is false), cut into frames.
    Bytes answer(Bytes data, bool mac = true);
    void macIn(const Bytes& command);
    // Directory listing and creating without the master key, as the key settings allow.
    bool mayList() const;
    bool mayManage() const;
    Application& current();
    const Application& current() const;

    Bytes authenticate(bool aes, const Bytes& frame);
    Bytes authenticateSecond(const Bytes& frame);
    Bytes selectApplication(const Bytes& frame);
    Bytes getApplicationIds(const Bytes& frame);
    Bytes getDfNames(const Bytes& frame);
    Bytes getKeySettings(const Bytes& frame);
    Bytes changeKeySettings(const Bytes& frame);
    Bytes changeKey(const Bytes& frame);
    Bytes createApplication(const Bytes& frame);
    Bytes createDataFile(const Bytes& frame);
    // The card master key, or the application's own master key in it.
    Bytes deleteApplication(const Bytes& frame);
    // With the application master key, or free where the key settings allow creating.
    Bytes deleteFile(const Bytes& frame);
    Bytes getFileIds(const Bytes& frame);
    Bytes getFileSettings(const Bytes& frame);
    Bytes changeFileSettings(const Bytes& frame);
    Bytes readData(const Bytes& frame);
    Bytes writeData(const Bytes& frame);
    Bytes finishWrite();
    // Plain, MACed or enciphered, as the file's access for this session gives it.
    int commMode(const File& file, int key1, int key2) const;

    std::vector<Application> apps_; // the card level first
    std::uint32_t selected_ = 0;
    std::optional<std::uint8_t> selectedFile_; // ISO: the file selected by its id
    std::optional<DesfireCipher> session_;
    int authKey_ = -1;
    // Authentication between its two steps.
    std::optional<DesfireCipher> authCipher_;
    int authKeyNo_ = -1;
    bool authAes_ = false;
    Bytes rndB_;
    // Answer frames still to go, each [status, data...].
    std::vector<Bytes> pendingOut_;
    // A WriteData whose data comes in further frames.
    Bytes writeHeader_, writeData_;
    std::size_t writeExpected_ = 0;
    int writeMode_ = 0;
    bool corrupt_ = false;
    std::function<Bytes(std::size_t)> random_;
};

} // namespace kqsim
