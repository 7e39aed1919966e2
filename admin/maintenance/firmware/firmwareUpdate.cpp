#include "admin/maintenance/firmware/firmwareUpdate.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int DataBytesPerRequest = 2 * DataRegistersPerRequest;

} // namespace

TFirmwareUpdate::TFirmwareUpdate(TFirmwareLink& link, TFirmwareUi& ui, TFirmwareLimits limits)
    : Link(link)
    , Ui(ui)
    , Limits(limits)
{
}

std::string TFirmwareUpdate::DevicePassword(const uint8_t* registerBytes)
{
    std::string password;
    for (size_t i = 0; i < sizeof PasswordKey; ++i) {
        const char c = char(uint8_t(registerBytes[i] - PasswordKey[i]));
        if (c == '\0')
            break;
        password += c;
    }
    return password;
}

bool TFirmwareUpdate::CheckDevicePassword()
{
    uint8_t reply[FirmwareReplySize] = {};
    if (Link.Request(ModbusFunction::ReadInputRegisters, FirmwareRegister::Password, PasswordRegisterCount, nullptr,
            reply, Limits.Default, true)
        <= 0)
        return false;
    const std::string device = DevicePassword(reply + ReadReplyDataOffset);
    if (device.empty())
        return true;
    std::string typed;
    if (!Ui.AskPassword(typed))
        typed.clear();
    return typed == device;
}

bool TFirmwareUpdate::Send(
    uint32_t functionCode, uint32_t number, uint16_t countOrValue, const uint8_t* data, int timeout, bool retry)
{
    uint8_t reply[FirmwareReplySize] = {};
    return Link.Request(functionCode, number, countOrValue, data, reply, timeout, retry) > 0;
}

TFirmwareUpdate::TRecordResult TFirmwareUpdate::SendFirmwareRecord(TSkpPackage& package, int index)
{
    TSkpRecord record;
    if (package.Record(index, record) != TSkpError::None)
        return TRecordResult::Failed;
    const uint64_t even = record.EvenLength();
    Ui.RecordStarted(index, package.RecordCount(), even);

    // The data are checked before anything of the record is sent.
    uint16_t crc = 0;
    const TSkpError check = package.CheckRecord(record, &crc);
    if (check == TSkpError::BadChecksum) {
        Ui.ShowMessage(FirmwareText::InvalidChecksum);
        return TRecordResult::BadChecksum;
    }
    if (check != TSkpError::None)
        return TRecordResult::Failed;

    auto step = [&](TFirmwareStep s, bool ok) {
        if (ok)
            Ui.StepDone(index, s);
        return ok;
    };
    using namespace ModbusFunction;
    namespace R = FirmwareRegister;
    // The code and its terminating zero, in whole registers.
    uint8_t unlock[(sizeof UnlockCode + 1) / 2 * 2] = {};
    std::memcpy(unlock, UnlockCode, sizeof UnlockCode);
    const uint16_t unlockRegisters = uint16_t(sizeof UnlockCode / 2);
    if (!step(TFirmwareStep::Control, Send(WriteSingleRegister, R::Control, 0, nullptr, Limits.Default, true))
        || !step(TFirmwareStep::Unlock,
            Send(WriteMultipleRegisters, R::Unlock, unlockRegisters, unlock, Limits.Default, true))
        || !step(
            TFirmwareStep::Length, Send(WriteMultipleRegisters, R::Length, 2, record.LengthBytes, Limits.Default, true))
        || !step(TFirmwareStep::Type, Send(WriteMultipleRegisters, R::Type, 1, record.TypeBytes, Limits.Default, true)))
        return TRecordResult::Failed;

    uint8_t piece[DataBytesPerRequest];
    for (uint64_t sent = 0; sent < even;) {
        const size_t n = size_t(std::min<uint64_t>(DataBytesPerRequest, even - sent));
        if (package.ReadData(record, sent, piece, n) != TSkpError::None)
            return TRecordResult::Failed;
        if (!step(TFirmwareStep::Data,
                Send(WriteMultipleRegisters, R::Data, uint16_t(n / 2), piece, Limits.Default, true)))
            return TRecordResult::Failed;
        sent += n;
        Ui.RecordProgress(sent);
    }
    if (!step(TFirmwareStep::Crc, Send(WriteSingleRegister, R::Crc, crc, nullptr, Limits.Default, true)))
        return TRecordResult::Failed;
    // The device may take long to take the record; a second try would only
    // find it in another state.
    if (!step(TFirmwareStep::Commit,
            Send(WriteSingleRegister, R::Commit, 0, nullptr, Limits.CommitTimeout(record.Type), false)))
        return TRecordResult::Failed;
    return TRecordResult::Sent;
}

TFirmwareOutcome TFirmwareUpdate::UpdateFirmware(const std::string& path)
{
    PackageError = TSkpError::None;
    if (!CheckDevicePassword()) {
        Ui.ShowMessage(FirmwareText::WrongPassword);
        return TFirmwareOutcome::WrongPassword;
    }
    Ui.UpdateStarted();

    TSkpFileSource file;
    if (!file.Open(path)) {
        PackageError = TSkpError::NoFile;
        Ui.ShowMessage(FirmwareText::ErrorReadingFile);
        return TFirmwareOutcome::NoFile;
    }
    TSkpPackage package;
    PackageError = package.Open(&file);
    if (PackageError != TSkpError::None) {
        file.Close();
        Ui.ClearPath();
        Ui.ShowMessage(FirmwareText::InvalidFileFormat);
        return TFirmwareOutcome::InvalidFile;
    }

    const int count = package.RecordCount();
    Ui.DownloadStarted(count);
    TRecordResult result = TRecordResult::Sent;
    for (int i = 0; i < count && result == TRecordResult::Sent; ++i) {
        result = SendFirmwareRecord(package, i);
        if (result == TRecordResult::Sent)
            Ui.RecordsDone(i + 1);
    }

    TFirmwareOutcome outcome = TFirmwareOutcome::Updated;
    if (result == TRecordResult::Sent) {
        if (!Send(ModbusFunction::Diagnostics, RestartSubFunction, RestartWord, nullptr, Limits.Default, true))
            Ui.ShowMessage(FirmwareText::FailToRestart);
        Ui.ShowCountdown();
        Ui.ShowMessage(FirmwareText::UpdateSuccess);
    } else if (result == TRecordResult::Failed) {
        // Tells the device to drop the record; whether it hears is not asked.
        Send(ModbusFunction::WriteSingleRegister, FirmwareRegister::Control, 0, nullptr, Limits.Default, true);
        Ui.ShowMessage(FirmwareText::UpdateFail);
        outcome = TFirmwareOutcome::RecordFailed;
    } else {
        outcome = TFirmwareOutcome::BadChecksum;
    }
    file.Close();
    Ui.DownloadEnded();
    return outcome;
}
