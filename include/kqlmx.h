/*
 * kqlmx.h: the flat C API of the KQ reader library (libkqlmx.so).
 *
 * Every call runs on the caller's thread; the library expects one thread (the
 * user-interface thread) to make all calls. A port is named by the positive handle
 * that KQLMX_OpenPort answered. Calls on a port answer 0 on success and -1 on failure
 * (or a count), and keep the reason in the port's last error, read with
 * KQLMX_GetLastError. Texts are UTF-8.
 *
 * Port names:
 *   "/dev/ttyUSB0", "/dev/pts/5"   a serial device (a tty); keeps the baud argument
 *   "COM3", "\\.\COM3"             a COM name: also keeps the baud argument
 *   any other name                 the serial number of an FTDI device (libftd2xx.so,
 *                                  path overridable by KQLMX_FTD2XX_LIBRARY), 19200 baud
 *   "a.b.c.d-port", "[name]-port"  a LAN reader over TCP: the address, or the reader
 *                                  name that the UDP discovery resolves on every
 *                                  adapter (see LAN readers below), and the TCP port;
 *                                  19200 baud; -1 when the connection is not made
 *   a name containing "HID"        a USB HID reader by its name from
 *                                  KQLMX_EnumUsbReaders (hidraw); -13 when it does
 *                                  not take the start report
 *   a name containing "BT"         a Bluetooth reader behind a dongle, by its name from
 *                                  KQLMX_EnumBluetoothPorts (libSiUSBXp.so, path
 *                                  overridable by KQLMX_USBXPRESS_LIBRARY), or behind a
 *                                  module on a serial device: "/dev/ttyUSB0 BT". No
 *                                  version probe (type code 0x125); the module connects
 *                                  to the reader on the first exchange. A name
 *                                  containing "BTW" is always refused with -1
 *   a suffix ":n" sets the reader address n (default 1): "/dev/ttyUSB0:2".
 *   A device path may keep the description hint that KQLMX_EnumComPorts gave it:
 *   "/dev/ttyACM0 [Vek Virtual COM]:2" opens /dev/ttyACM0 at address 2.
 *
 * Baud argument of KQLMX_OpenPort: rate and line code in one number:
 *   rate = baud / 100 * 100, line code = baud % 100: 0 no parity and 1 stop bit,
 *   1 even parity, 2 odd parity, 3 no parity and 2 stop bits (others as 0).
 *   115200 opens at 115200 8N1; 115201 at 115200 8E1.
 *
 * Handles: serial ports from 1, HID readers from 10001, LAN readers from 20001,
 * Bluetooth readers from 30001; a closed port's number is given again.
 */
#ifndef KQLMX_H
#define KQLMX_H

#if defined(KQLMX_BUILDING)
#define KQLMX_API __attribute__((visibility("default")))
#else
#define KQLMX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of KQLMX_OpenPort below zero. */
#define KQLMX_OPEN_LINK_FAILED (-1) /* the link could not be opened */
#define KQLMX_OPEN_BAD_TIMEOUT (-2) /* negative time-out */
#define KQLMX_OPEN_NO_READER (-11)  /* no protocol type got a 4-byte version answer */
#define KQLMX_OPEN_HID_START (-13)  /* HID link opened but could not be started */

/* Last-error codes of the port and reader layers (KQLMX_GetLastError). Besides these:
 * reader status codes of protocol types 2/3 (0x88 -> 17, 0xA4 -> 20, 0xC4/0xC5 -> 21,
 * 0xCC -> 23, 0xA0 -> 24), of type 0 (3 and 25 -> 23, 7 -> 44, others as they are)
 * and of type 1 (as they are); ISO 15693 response errors 32-42 and 0xA0-0xDF. */
#define KQLMX_ERROR_NONE 0
#define KQLMX_ERROR_NO_SUCH_PORT 3     /* the handle names no open port */
#define KQLMX_ERROR_TIMEOUT 4          /* no complete answer within the time-out */
#define KQLMX_ERROR_BUFFER_TOO_SMALL 5 /* the caller's buffer is too small */
#define KQLMX_ERROR_BAD_INVENTORY 6    /* an ISO 15693 inventory answer that ends early */
#define KQLMX_ERROR_COUNT_RANGE 7      /* a block count outside 1..256 */
#define KQLMX_ERROR_NOTHING_TO_SEND 8
#define KQLMX_ERROR_ANSWER_TOO_SHORT 9 /* an answer shorter than its frame or its content */
#define KQLMX_ERROR_CHECK_BYTES 10     /* check byte or CRC wrong */
#define KQLMX_ERROR_EMPTY_ANSWER 12
#define KQLMX_ERROR_BAUD_NOT_CHANGEABLE 14 /* the port is no serial device */
#define KQLMX_ERROR_DATA_TOO_LONG                                                                            \
    15                                   /* a frame would hold more than 255 bytes; a block                  \
                                            number that does not fit its field */
#define KQLMX_ERROR_UNEXPECTED_ANSWER 16 /* also: a request this tag does not take */
#define KQLMX_ERROR_NO_TAG_ANSWER 21     /* reader status: no tag answered */
#define KQLMX_ERROR_COLLISION 23         /* reader status: several tags answered */
#define KQLMX_ERROR_MORE_DATA 32         /* type 0 status 0x20: the answer is still good */
#define KQLMX_ERROR_NO_SINGLE_TAG                                                                            \
    43                                 /* the inventory for a system information request                     \
                                          found not exactly one tag */
#define KQLMX_ERROR_KEY_LENGTH 0x10020 /* a key that is neither absent nor 16 bytes */
/* DESFire layer: 0x10000 + the card's status byte (native commands, e.g. 0x100AE
 * authentication error) or + the status word of an ISO command (e.g. 0x16982 security
 * status not satisfied), and these: */
#define KQLMX_ERROR_DESFIRE_OLD_KEY 0x10021    /* another key changed without its old key */
#define KQLMX_ERROR_DESFIRE_NO_SESSION 0x10023 /* the command needs an authentication */
#define KQLMX_ERROR_DESFIRE_MAC 0x10024        /* the CMAC of the card's answer is wrong */
#define KQLMX_ERROR_DESFIRE_CRC 0x10025        /* the CRC32 of deciphered data is wrong */
#define KQLMX_ERROR_DESFIRE_LIST_SIZE 0x10026  /* the buffer cannot take the whole list */
#define KQLMX_ERROR_DESFIRE_DF_NAMES 0x10028   /* DF names are not listed in an ISO or AES session */
#define KQLMX_ERROR_DESFIRE_NO_STATUS 0xFFFF   /* an answer without its status */
#define KQLMX_ERROR_ISO_END_OF_FILE 0x16282    /* READ BINARY ran past the end of the file */
#define KQLMX_ERROR_TAG_TYPE_UNSUPPORTED 0x20002
#define KQLMX_ERROR_MESSAGE_TOO_LARGE 0x20014 /* the tag's room is smaller than the message */
#define KQLMX_ERROR_PORT_BUSY 0x30001         /* a call on a port that is waiting for an answer */
#define KQLMX_ERROR_BAD_TEXT_LENGTH                                                                          \
    0x30002 /* KQLMX_WriteTag: a negative length, a positive                                                 \
               one without a text, a zero inside the text */
/* KQLMX_WriteLanConfig refused a text before sending anything (KQLMX_GetLanConfigError):
 * an address that is neither "a.b.c.d[-port]" (four decimal parts 0-255, port 0-65535)
 * nor "[name][-port]" (a name of at most 16 bytes, all the module holds); a mask that
 * is neither empty nor "a.b.c.d" with its one bits above its zero bits and at least
 * one one bit; a gateway that is neither empty nor "a.b.c.d". */
#define KQLMX_ERROR_BAD_LAN_ADDRESS 0x30003
#define KQLMX_ERROR_BAD_LAN_MASK 0x30004
#define KQLMX_ERROR_BAD_LAN_GATEWAY 0x30005
/* KQLMX_WriteLanConfig sent the new settings, but within its 5 s wait the module still
 * answered at its old address, or at its new one without the new settings (it ignored
 * or lost the set-up): nothing was applied. */
#define KQLMX_ERROR_LAN_NOT_TAKEN 0x30006

/* What the library does to the application's windows while it waits for a reader's
 * answer. Every member may be null (nothing is done); all run on the calling thread. */
typedef struct KQLMX_UiHooks {
    void* user; /* handed to every hook */
    /* Dispatch waiting events (timers still fire; user input is left for later). */
    void (*pumpEvents)(void* user);
    /* Disable the active window and take the keyboard focus; the answer is handed
     * back to restoreActiveWindow exactly once when the wait ends. */
    void* (*disableActiveWindow)(void* user);
    void (*restoreActiveWindow)(void* user, void* token);
    /* Show and end the wait cursor around long link operations. */
    void (*beginBusy)(void* user);
    void (*endBusy)(void* user);
} KQLMX_UiHooks;

/* Installs the hooks (copied); null restores the defaults, which do nothing. */
KQLMX_API void KQLMX_SetUiHooks(const KQLMX_UiHooks* hooks);

/* Receives each trace text: the KQLMX_OpenPort and KQLMX_ClosePort calls and the
 * library's diagnostics, on the thread that made them. Null removes the sink. The sink
 * may call any function of the library. Once KQLMX_SetTraceSink has returned, the sink
 * it replaced is called no more (it waits for calls under way on other threads), unless
 * it was called from a sink. When the environment variable KQLMX_TRACE names a file,
 * the texts are also appended to it. */
typedef void (*KQLMX_TraceSink)(void* user, const char* text);
KQLMX_API void KQLMX_SetTraceSink(KQLMX_TraceSink sink, void* user);

/* ---- Ports and reader ---------------------------------------------------------- */

/* Opens the port, finds the reader's protocol type by its version answer and answers
 * the handle (> 0), or KQLMX_OPEN_LINK_FAILED, KQLMX_OPEN_BAD_TIMEOUT,
 * KQLMX_OPEN_NO_READER, KQLMX_OPEN_HID_START (a HID reader that did not take the start
 * report). A Bluetooth reader is not probed. timeoutMs is the answer time-out of
 * the port (the probe uses at most 300 ms). A null name fails with -1. */
KQLMX_API int KQLMX_OpenPort(const char* name, int baud, int timeoutMs);
/* 0, or -1 when no such port. */
KQLMX_API int KQLMX_ClosePort(int port);
/* The port's last error; 3 when no such port (a handle of 0 or below names none). */
KQLMX_API int KQLMX_GetLastError(int port);
/* Asks the reader's version again: the answer's byte count (4 as a rule), -1 on
 * failure; a null buffer or a len smaller than the answer: error 5, -1, nothing
 * written. */
KQLMX_API int KQLMX_GetReaderVersion(int port, unsigned char* buf, int len);
/* The length of the reader's model name ("KQ-LM90"; "KQ-#%03X" for an unknown type
 * code; "KQ-#000" when no such port). With buf not null and size > 0, buf is
 * zero-filled and holds at most size-1 characters. */
KQLMX_API int KQLMX_GetReaderName(int port, char* buf, int size);
/* 1 or 0 (the writer bit of the type code); -1 when no such port. */
KQLMX_API int KQLMX_IsWriter(int port);
/* 1 when the port is an FTDI device (or a HID reader), 0 otherwise; -1 when no such port. */
KQLMX_API int KQLMX_IsUsbPort(int port);
/* flag != 0: later answer waits on this port leave the windows alone. 1, or -1 when no such port. */
KQLMX_API int KQLMX_SetWaitMode(int port, int flag);
/* Switches the reader and then the serial device to the rate (2400 ... 1382400; any
 * other rate switches both to 19200) and the line mode (0 8N1, 1 8E1, 2 8O1, 3 8N2).
 * 0 / -1 (error 14 when the port is no serial device). On a Bluetooth port only the
 * line to the module takes the rate. */
KQLMX_API int KQLMX_SetBaudRate(int port, int baud, int mode);
/* mode 1 HID, 2 virtual COM. 0 / -1. */
KQLMX_API int KQLMX_SetUsbMode(int port, int mode);
/* Sets the reader outputs selected by mask to value. 0 / -1. */
KQLMX_API int KQLMX_SetOutputs(int port, int mask, int value);
/* on != 0 switches the RF field on. 0 / -1. */
KQLMX_API int KQLMX_SetRfField(int port, int on);

/* ---- Enumeration ----------------------------------------------------------------
 * Each fills buf with zero-terminated names closed by one more zero byte (an entry
 * is written only when it, its zero and the closing zero fit) and answers the bytes
 * used, closing zero included. A null buf or a size of 0 or below: nothing written,
 * 0. An empty list is buf[0] = 0 and 1.
 *
 * Devices are read from sysfs under "/", or under the folder named by the environment
 * variable KQLMX_SYSFS_ROOT (a fake tree for tests: <root>/sys/class/tty, ...). */

/* The serial devices in natural order ("/dev/ttyUSB2" before "/dev/ttyUSB10"): each
 * tty with a device behind it (serial ports without hardware left out), followed by
 * " [<USB product>]" when the USB product string begins "Vek" or "PV-6" (any case),
 * else by " [Vek Virtual COM]" for a USB 1C40:05AC device. Without sysfs: the
 * /dev/ttyS*, ttyUSB* and ttyACM* nodes that can be opened. */
KQLMX_API int KQLMX_EnumComPorts(char* buf, int size);
/* Readers behind a Bluetooth dongle: "<dongle serial-number string> BT" for each dongle
 * of the bridge library whose serial-number string begins "VEK-RT4082#". */
KQLMX_API int KQLMX_EnumBluetoothPorts(char* buf, int size);
/* The USB readers: first the serial numbers of the FTDI devices that nobody has open,
 * then the HID readers ("<serial number> HID", "1319-???? HID" without one), each
 * kept only when its first four characters give a known reader model number. */
KQLMX_API int KQLMX_EnumUsbReaders(char* buf, int size);
/* Flags of attached USB readers that no driver serves (0 when none):
 * 1: a 0403:E130 reader that no kernel driver has taken while the FTDI library
 *    cannot be loaded; 2: a 1C40:05AC reader none of whose interfaces a kernel
 *    driver has taken. */
KQLMX_API int KQLMX_CountUsbReaders(void);
/* 1: no extra driver is needed on this system. */
KQLMX_API int KQLMX_IsVirtualComDriverInstalled(void);

/* ---- LAN readers ------------------------------------------------------------------
 * A LAN reader's network module answers on UDP (port 30718) to broadcasts sent from
 * every adapter of the host. A reader text is "a.b.c.d-port", "a.b.c.d" (port 10001)
 * or a bracketed device name "[name]" with or without "-port" (found by discovery).
 * Tests run on loopback through the environment variables KQLMX_LAN_BROADCAST (the
 * broadcast address, default 255.255.255.255), KQLMX_LAN_PORT (the modules' UDP
 * port, default 30718) and KQLMX_LAN_ADAPTERS (the adapter list instead of the
 * host's: "address/mask" entries, mask dotted or a prefix length, separated by ','
 * or ';', e.g. "127.0.0.1/8,127.0.0.20/255.0.0.0"). */

/* The modules that answer, as a multi-string (see the enumeration functions), sorted
 * and without duplicates: "a.b.c.d-port" for a module at its configured address,
 * else "[name]a.b.c.d-port" with the address it answered from. */
KQLMX_API int KQLMX_FindLanReaders(char* buf, int size);
/* As KQLMX_FindLanReaders, keeping only modules whose device type (block 2) begins
 * "KQ-" in any case; those listed by name are given by "[name]" alone. */
KQLMX_API int KQLMX_FindLanReadersEx(char* buf, int size);
/* Reads a module's settings into the caller's texts (each may be null): nameOut
 * "[name]-port" (25 bytes), addressOut "a.b.c.d-port" or empty without a fixed
 * address (22 bytes), maskOut and gatewayOut "a.b.c.d" (16 bytes each). 0; -1 when
 * the module's configuration could not be read or no adapter reaches it. */
KQLMX_API int KQLMX_ReadLanConfig(const char* reader, char* nameOut, char* addressOut, char* maskOut,
                                  char* gatewayOut);
/* Gives the module `reader` the new address text ("a.b.c.d-port" for a fixed address,
 * "[name]-port" for DHCP), mask and gateway ("a.b.c.d"; empty or null keeps the
 * current one), waits for it to answer at the new address and applies the settings.
 * 0; -1 on failure. A module that answers nowhere yet after the 5 s wait (a slow
 * restart) is not failed for that: the caller waits on for it. A text of another form is refused with -1
 * before anything is sent; KQLMX_GetLanConfigError then tells which. */
KQLMX_API int KQLMX_WriteLanConfig(const char* reader, const char* address, const char* mask,
                                   const char* gateway);
/* After KQLMX_WriteLanConfig: KQLMX_ERROR_BAD_LAN_ADDRESS, _MASK or _GATEWAY when it
 * refused that text, KQLMX_ERROR_LAN_NOT_TAKEN when the module did not take the new
 * address, port or settings, else 0. */
KQLMX_API int KQLMX_GetLanConfigError(void);
/* 1 when a module answers at that reader text, else 0. */
KQLMX_API int KQLMX_CheckLanReader(const char* reader);

/* ---- Tags -------------------------------------------------------------------------
 * The tag in the reader's field is found anew by each call (type A first, then an ISO
 * 15693 tag) and its content crosses as record JSON text. Tags of NFC Forum Type 2
 * (Ultralight, Ultralight C, NTAG21x and alike), MIFARE Classic 1K/4K (through the MAD),
 * ISO 15693 (as NFC Forum Type 5) and DESFire EV1 cards (as NFC Forum Type 4) are read,
 * written, formatted and locked; a DESFire card's NDEF application and card level are
 * protected with a key by KQLMX_ChangeTagKey (flag != 0: its data too). Other tag
 * families answer -1 with KQLMX_ERROR_TAG_TYPE_UNSUPPORTED, an empty
 * field -1 with 0x20001. Failures keep a tag-layer code (0x20001..0x2001B) or the
 * code of the reader command that failed. Keys are 16 bytes or absent (null or
 * length 0); any other length: KQLMX_ERROR_KEY_LENGTH before the tag is touched. On no
 * port every call answers -1 (KQLMX_GetLastError: 3). */
KQLMX_API int KQLMX_FormatTag(int port, const void* key, int keyLen);
KQLMX_API int KQLMX_LockTag(int port, const void* key, int keyLen);
/* The text's length n; len < n + 1 (or a null buf): error 5, -1. A formatted tag
 * without a record gives an empty text; one whose records cannot be shown answers -1
 * with 0x20018 (an absolute URI, smart posters nested too deep) or 0x20019 (other
 * content: a MIME type other than a vCard, an external type). */
KQLMX_API int KQLMX_ReadTag(int port, char* buf, int len);
/* 8 UID bytes (a shorter UID is followed by zeros); a null out or len 7 or less:
 * error 5, -1, without reader traffic. */
KQLMX_API int KQLMX_GetTagUid(int port, unsigned char* out, int len);
KQLMX_API int KQLMX_ChangeTagKey(int port, int flag, const void* curKey, int curKeyLen, const void* newKey,
                                 int newKeyLen);
/* 0; minus the excess in bytes when the message does not fit the tag (error
 * KQLMX_ERROR_MESSAGE_TOO_LARGE, nothing written); -1. jsonLen may count a terminating
 * zero; an empty text (length 0, or the terminating zero alone) formats the tag. A
 * negative jsonLen, a null json with a positive one, or a zero before the end of the
 * text: KQLMX_ERROR_BAD_TEXT_LENGTH before the tag is touched; so are, with 0x2001B, a
 * text that is not UTF-8, and with 0x20018 a web address, telephone number, e-mail
 * address or SMS number that is empty. A call made while the
 * port waits for an answer (from an event pumped by the wait) answers -1 with
 * KQLMX_ERROR_PORT_BUSY at once; so do the other tag calls. */
KQLMX_API int KQLMX_WriteTag(int port, const char* json, int jsonLen, const void* key, int keyLen,
                             int lockAfter);

/* ---- ISO/IEC 14443 type A ---------------------------------------------------------
 * The reader's card commands; 0 or a count on success, -1 on failure. Blocks above 255
 * are reached through the reader's block bank, which is selected only when it changes
 * and set back to 0 by KQLMX_RequestTag and KQLMX_SelectTag. */
/* Request (WUPA): the ATQA, first answer byte in the low half. */
KQLMX_API int KQLMX_RequestTag(int port, short* atqa);
/* Anticollision and select: *sak, the UID into uid; the UID length. -1 without an
 * error code of its own when the UID is longer than len. */
KQLMX_API int KQLMX_SelectTag(int port, unsigned char* uid, int len, char* sak);
/* ISO 14443-4 activation: the answer to select and its length. */
KQLMX_API int KQLMX_RequestAts(int port, unsigned char* buf, int len);
/* MIFARE Classic authentication of the sector holding block with a 6-byte key
 * (keyType 0: key A, 1: key B); prefix bytes are passed on to the reader. */
KQLMX_API int KQLMX_AuthenticateBlock(int port, const void* prefix, int prefixLen, int keyType,
                                      const void* key, int keyLen, int block);
/* The block's answer (16 bytes: four Type 2 pages) cut to len; the bytes copied. */
KQLMX_API int KQLMX_ReadBlock(int port, int block, unsigned char* buf, int len);
/* One Type 2 page (4 bytes) or one MIFARE block (16 bytes). */
KQLMX_API int KQLMX_WriteBlock(int port, int block, const void* data, int len);

/* ---- ISO/IEC 15693 ------------------------------------------------------------------
 * flags: the low 8 bits are the request flags sent to the tag; the bits above choose
 * variants. A UID is taken when it is exactly 8 bytes (least significant byte first,
 * E0 last); the request is then addressed to it. Block numbers are one byte (0..255,
 * else error 15) unless the protocol extension flag is set for a UID of maker code
 * 0x02; counts are 1..256 (else error 7). Functions that give bytes answer their count;
 * a buffer smaller than the answer: error 5, -1. */
#define KQLMX_ISO15693_SUBCARRIER 0x01 /* two sub-carriers */
#define KQLMX_ISO15693_DATA_RATE 0x02  /* high data rate */
#define KQLMX_ISO15693_INVENTORY 0x04
#define KQLMX_ISO15693_EXTENSION 0x08  /* protocol extension: two-byte block numbers */
#define KQLMX_ISO15693_SELECT_AFI 0x10 /* inventory: AFI present */
#define KQLMX_ISO15693_ONE_SLOT 0x20   /* inventory: one slot (else 16) */
#define KQLMX_ISO15693_OPTION 0x40
#define KQLMX_ISO15693_MAKER_05 0x100       /* use the custom commands of maker code 0x05 */
#define KQLMX_ISO15693_NO_LOCK_OPTION 0x200 /* never set the option flag when locking */
#define KQLMX_ISO15693_WRITE_OPTION 0x400   /* option flag when writing and locking (maker 0x07) */
#define KQLMX_ISO15693_READ_MULTIPLE 0x800  /* read one block with Read multiple blocks */
#define KQLMX_ISO15693_NO_SUBCARRIER 0x2000 /* clear the sub-carrier flag (maker 0x08) */
#define KQLMX_ISO15693_RAW_FLAGS 0x8000     /* send the flags as passed, no variants */

/* Inventory (16 slots, or one with KQLMX_ISO15693_ONE_SLOT): 11-byte records (status,
 * response flags, DSFID, UID), as many whole records as fit len; the bytes copied.
 * Colliding slots are resolved with longer masks; tags that still collide at mask
 * length 60, or after 256 inventory rounds, fail the call with error 23. */
KQLMX_API int KQLMX_Iso15693Inventory(int port, unsigned char* buf, int len, int flags);
/* The system information after the response flags (info flags, UID, ...). */
KQLMX_API int KQLMX_Iso15693GetSystemInfo(int port, unsigned char* out, int outLen, const void* uid,
                                          int uidLen, int flags);
/* Block count, block size and IC maker code from the system information; each out
 * pointer may be null and is set only when the information holds it. 0 / -1. */
KQLMX_API int KQLMX_Iso15693GetMemorySize(int port, const void* uid, int uidLen, int* blockCount,
                                          int* blockSize, int* icManufacturer, int flags);
/* One block (with the option flag: its security status first). */
KQLMX_API int KQLMX_Iso15693ReadBlock(int port, int block, unsigned char* out, int outLen, const void* uid,
                                      int uidLen, int flags);
KQLMX_API int KQLMX_Iso15693ReadBlocks(int port, int first, int count, unsigned char* out, int outLen,
                                       const void* uid, int uidLen, int flags);
/* Writes one block; a write whose answer was lost counts when the block reads back
 * equal. 0 / -1. */
KQLMX_API int KQLMX_Iso15693WriteBlocks(int port, int block, const void* data, int dataLen, const void* uid,
                                        int uidLen, int flags);
/* Locks one block; a block that is locked already counts as locked. 0 / -1. */
KQLMX_API int KQLMX_Iso15693LockBlock(int port, int block, const void* uid, int uidLen, int flags);
/* One security status byte per block (1: locked). */
KQLMX_API int KQLMX_Iso15693GetBlockSecurity(int port, int first, int count, unsigned char* out, int outLen,
                                             const void* uid, int uidLen, int flags);

/* ---- DESFire ------------------------------------------------------------------------
 * Commands to the DESFire card in the field (found and activated by the caller with
 * KQLMX_RequestTag, KQLMX_SelectTag and KQLMX_RequestAts), through the reader's APDU
 * exchange. After an authentication the port keeps the session: plain commands and
 * good answers are checked with the session's CMAC, keys and settings go enciphered.
 * A failed command, a selection or a new authentication ends the session. Keys are 16
 * bytes (a DES key is given with both halves equal); an absent key (null or length 0)
 * is 16 zero bytes. 0 on success (or a count), -1 on failure with the reason in the
 * last error. */
/* flag != 0: the authentications, ChangeKey, GetDfNames, GetFreeMemory,
 * GetKeySettings and SelectApplication go wrapped as ISO 7816-4 APDUs (90 cmd 00 00 ..). */
KQLMX_API int KQLMX_DesfireSetIsoWrapping(int port, int flag);
/* Authentication 0x1A (DES or two-key triple DES) and 0xAA (AES) with key keyNo. */
KQLMX_API int KQLMX_DesfireAuthenticateIso(int port, int keyNo, const void* key, int keyLen);
KQLMX_API int KQLMX_DesfireAuthenticateAes(int port, int keyNo, const void* key, int keyLen);
/* aid 0 is the card level. */
KQLMX_API int KQLMX_DesfireSelectApplication(int port, int aid);
/* The AIDs (3 bytes each, low byte first); the bytes used. A buffer that cannot take
 * the whole list: KQLMX_ERROR_DESFIRE_LIST_SIZE, nothing written. */
KQLMX_API int KQLMX_DesfireGetApplicationIds(int port, unsigned char* buf, int len);
/* 22 bytes per application: AID (3, low byte first), ISO file id (2, low byte first),
 * DF name (16, zero-filled), DF name length; the bytes used. Refused in an ISO or AES
 * session (KQLMX_ERROR_DESFIRE_DF_NAMES); a short buffer as above. */
KQLMX_API int KQLMX_DesfireGetDfNames(int port, unsigned char* buf, int len);
/* The card's free memory in bytes. */
KQLMX_API int KQLMX_DesfireGetFreeMemory(int port);
/* The key settings byte and the number of keys (either pointer may be null). */
KQLMX_API int KQLMX_DesfireGetKeySettings(int port, int* keySettings, int* keyCount);
/* Needs an authentication with the master key. */
KQLMX_API int KQLMX_DesfireChangeKeySettings(int port, int keySettings);
/* Changes key keyNo to newKey; keyType 2 is AES (keyVersion goes with AES keys only).
 * Changing a key other than the authenticated one needs oldKey. Changing the
 * authenticated key ends the session. */
KQLMX_API int KQLMX_DesfireChangeKey(int port, int keyNo, const void* newKey, int newKeyLen, int keyVersion,
                                     const void* oldKey, int oldKeyLen, int keyType);
/* Key settings 1 = keySettings | changeKeyAccess << 4; key settings 2 = crypto << 6 |
 * keyCount | 0x20 with iso != 0; isoData: ISO file id (2 bytes, low first) followed by
 * the DF name (at most 16 bytes), used when longer than 2 bytes. */
KQLMX_API int KQLMX_DesfireCreateApplication(int port, int aid, int crypto, int keyCount, int iso,
                                             int changeKeyAccess, int keySettings, const void* isoData,
                                             int isoDataLen);
/* A standard data file; isoFileId 0 for none; accessRights read << 12 | write << 8 |
 * read-write << 4 | change. */
KQLMX_API int KQLMX_DesfireCreateDataFile(int port, int fileNo, int isoFileId, int size, int commSettings,
                                          int accessRights);
/* The file numbers; the bytes used (error 5 for a short buffer). */
KQLMX_API int KQLMX_DesfireGetFileIds(int port, unsigned char* buf, int len);
/* The file's settings (type, communication settings, access rights (2, low first),
 * size (3) for a data file), cut to len; the bytes copied. */
KQLMX_API int KQLMX_DesfireGetFileSettings(int port, int fileNo, unsigned char* buf, int len);
/* plain != 0 when the file's change access is free; else the settings go enciphered. */
KQLMX_API int KQLMX_DesfireChangeFileSettings(int port, int fileNo, int commSettings, int accessRights,
                                              int plain);
/* commMode 0 plain, 1 MACed, 3 enciphered (1 and 3 need a session); pieces of at most
 * 7600 bytes. ReadData answers the bytes read (error 5 when len is smaller). */
KQLMX_API int KQLMX_DesfireReadData(int port, int fileNo, int commMode, int offset, int length,
                                    unsigned char* buf, int len);
KQLMX_API int KQLMX_DesfireWriteData(int port, int fileNo, int commMode, int offset, const void* data,
                                     int len);

/* ---- ISO 7816-4 file commands (always as APDUs) ----------------------------------
 * Offsets above 0x7FFF are refused (error 15). Every answer must end 90 00, else
 * 0x10000 + the status word. */
/* SELECT by DF name (1..16 bytes); ends the DESFire session. */
KQLMX_API int KQLMX_IsoSelectByName(int port, const void* name, int len);
/* SELECT of an elementary file by its id. */
KQLMX_API int KQLMX_IsoSelectFile(int port, int fileId);
/* READ BINARY of length bytes in pieces of 80; at most bufSize bytes are copied; the
 * bytes copied. 69 85 after some data: KQLMX_ERROR_ISO_END_OF_FILE. */
KQLMX_API int KQLMX_IsoReadBinary(int port, int offset, int length, unsigned char* buf, int bufSize);
/* UPDATE BINARY in pieces of 58 bytes. */
KQLMX_API int KQLMX_IsoUpdateBinary(int port, int offset, const void* data, int len);

#ifdef __cplusplus
}
#endif

#endif /* KQLMX_H */
