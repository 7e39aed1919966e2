#pragma once
// The firmware download of a Q6120, without a window: the device password
// check, the package check, the record-by-record download with its
// requests, the restart or the abandon write, and the messages. It talks to
// the server through TFirmwareLink and to the operator through TFirmwareUi,
// so a window and a test can each supply their own.
#include "admin/comm/modbusCodes.h"
#include "admin/maintenance/firmware/skpPackage.h"

#include <cstdint>
#include <string>

// Messages to the operator.
namespace FirmwareText {
inline constexpr char WrongPassword[] = "Wrong password !!";
inline constexpr char ErrorReadingFile[] = "Error reading file !!";
inline constexpr char InvalidFileFormat[] = "Invalid file format !!";
inline constexpr char InvalidChecksum[] = "Invalid checksum...";
inline constexpr char UpdateFail[] = "Update FAIL !";
inline constexpr char FailToRestart[] = "Fail to restart I/O server !!";
inline constexpr char UpdateSuccess[] = "Firmware update successfully...";
} // namespace FirmwareText

// Register numbers as given to a request (the frame carries one less).
namespace FirmwareRegister {
inline constexpr uint32_t Password = 0x2504; // five input registers
inline constexpr uint32_t Control = 0x3001; // 0 before each record and to abandon
inline constexpr uint32_t Unlock = 0x3002;
inline constexpr uint32_t Length = 0x300E;
inline constexpr uint32_t Type = 0x3010;
inline constexpr uint32_t Data = 0x3011;
inline constexpr uint32_t Crc = 0x3084;
inline constexpr uint32_t Commit = 0x3085;
} // namespace FirmwareRegister

// The device's password registers hold each byte plus this key, mod 256.
inline constexpr uint8_t PasswordKey[10] = { 0x5C, 0x3E, 0x91, 0x0A, 0xD7, 0x62, 0xB4, 0x18, 0xEF, 0x27 };
inline constexpr int PasswordRegisterCount = 5;
// Offset of the data in the reply to a read of input registers.
inline constexpr int ReadReplyDataOffset = 9;
inline constexpr char UnlockCode[] = "JwoPexe";
inline constexpr int DataRegistersPerRequest = 115;
// The largest reply a request of the download can get.
inline constexpr int FirmwareReplySize = 19;

// Time limits of the requests, in ms; 0 means the program's socket time
// limit. Tests shorten them.
struct TFirmwareLimits {
    int general = 0;
    int commitType3 = 120000;
    int commitOther = 20000;
    int CommitTimeout(int32_t recordType) const { return recordType == 3 ? commitType3 : commitOther; }
};

// One Modbus/TCP request with a reply expected, as a module makes it:
// returns the reply size on success, -1 on failure. reply holds at least
// FirmwareReplySize bytes.
class TFirmwareLink {
public:
    virtual ~TFirmwareLink() = default;
    virtual int Request(uint32_t functionCode, uint32_t number, uint16_t countOrValue, const uint8_t* data,
        uint8_t* reply, int timeout, bool retry)
        = 0;
};

// The requests of one record, in the order they are sent.
enum class TFirmwareStep { Control, Unlock, Length, Type, Data, Crc, Commit };

// What the download shows and asks, in the order it happens.
class TFirmwareUi {
public:
    virtual ~TFirmwareUi() = default;
    // The operator's password; false when the prompt was cancelled.
    virtual bool AskPassword(std::string& password) = 0;
    virtual void ShowMessage(const char* text) = 0;
    // The password was accepted: "Update" goes off.
    virtual void UpdateStarted() = 0;
    // The file was refused: the path is cleared.
    virtual void ClearPath() = 0;
    // The package is valid and the records go out now.
    virtual void DownloadStarted(int recordCount) = 0;
    // Record index (from 0) of count begins; evenLength bytes will be sent.
    virtual void RecordStarted(int index, int count, uint64_t evenLength) = 0;
    virtual void RecordProgress(uint64_t bytesSent) = 0;
    virtual void RecordsDone(int done) = 0;
    // After every request of a record that succeeded.
    virtual void StepDone(int /*index*/, TFirmwareStep /*step*/) { }
    // The restart countdown, shown modally.
    virtual void ShowCountdown() = 0;
    // The download is over, whatever became of it: put the controls back.
    virtual void DownloadEnded() = 0;
};

enum class TFirmwareOutcome { WrongPassword, NoFile, InvalidFile, BadChecksum, RecordFailed, Updated };

class TFirmwareUpdate {
public:
    TFirmwareUpdate(TFirmwareLink& link, TFirmwareUi& ui, TFirmwareLimits limits = {});

    // The whole update of the package at path.
    TFirmwareOutcome UpdateFirmware(const std::string& path);
    // Reads the device password and, unless it is empty, asks for it.
    bool CheckDevicePassword();
    // The device password from the ten data bytes of the password registers:
    // up to the first zero byte, 0 to 10 bytes.
    static std::string DevicePassword(const uint8_t* registerBytes);

    // Why the package was refused (None unless it was).
    TSkpError packageError = TSkpError::None;

private:
    enum class TRecordResult { Sent, BadChecksum, Failed };
    TRecordResult SendFirmwareRecord(TSkpPackage& package, int index);
    bool Send(
        uint32_t functionCode, uint32_t number, uint16_t countOrValue, const uint8_t* data, int timeout, bool retry);

    TFirmwareLink& m_link;
    TFirmwareUi& m_ui;
    TFirmwareLimits m_limits;
};
