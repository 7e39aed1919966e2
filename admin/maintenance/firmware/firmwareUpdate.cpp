#include "admin/maintenance/firmware/firmwareUpdate.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int DataBytesPerRequest = 2 * DataRegistersPerRequest;

} // namespace

TFirmwareUpdate::TFirmwareUpdate(TFirmwareLink& link, TFirmwareUi& ui, TFirmwareLimits limits)
    : m_link(link)
    , m_ui(ui)
    , m_limits(limits)
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
    if (m_link.Request(ModbusFunction::ReadInputRegisters, FirmwareRegister::Password, PasswordRegisterCount, nullptr,
            reply, m_limits.general, true)
        <= 0)
        return false;
    const std::string device = DevicePassword(reply + ReadReplyDataOffset);
    if (device.empty())
        return true;
    std::string typed;
    if (!m_ui.AskPassword(typed))
        typed.clear();
    return typed == device;
}

bool TFirmwareUpdate::Send(
    uint32_t functionCode, uint32_t number, uint16_t countOrValue, const uint8_t* data, int timeout, bool retry)
{
    uint8_t reply[FirmwareReplySize] = {};
    return m_link.Request(functionCode, number, countOrValue, data, reply, timeout, retry) > 0;
}

TFirmwareUpdate::TRecordResult TFirmwareUpdate::SendFirmwareRecord(TSkpPackage& package, int index)
{
    TSkpRecord record;
    if (package.Record(index, record) != TSkpError::None)
        return TRecordResult::Failed;
    const uint64_t even = record.EvenLength();
    m_ui.RecordStarted(index, package.RecordCount(), even);

    // The data are checked before anything of the record is sent.
    uint16_t crc = 0;
    const TSkpError check = package.CheckRecord(record, &crc);
    if (check == TSkpError::BadChecksum) {
        m_ui.ShowMessage(FirmwareText::InvalidChecksum);
        return TRecordResult::BadChecksum;
    }
    if (check != TSkpError::None)
        return TRecordResult::Failed;

    auto step = [&](TFirmwareStep s, bool ok) {
        if (ok)
            m_ui.StepDone(index, s);
        return ok;
    };
    using namespace ModbusFunction;
    namespace R = FirmwareRegister;
    // The code and its terminating zero, in whole registers.
    uint8_t unlock[(sizeof UnlockCode + 1) / 2 * 2] = {};
    std::memcpy(unlock, UnlockCode, sizeof UnlockCode);
    const uint16_t unlockRegisters = uint16_t(sizeof UnlockCode / 2);
    if (!step(TFirmwareStep::Control, Send(WriteSingleRegister, R::Control, 0, nullptr, m_limits.general, true))
        || !step(TFirmwareStep::Unlock,
            Send(WriteMultipleRegisters, R::Unlock, unlockRegisters, unlock, m_limits.general, true))
        || !step(TFirmwareStep::Length,
            Send(WriteMultipleRegisters, R::Length, 2, record.lengthBytes, m_limits.general, true))
        || !step(
            TFirmwareStep::Type, Send(WriteMultipleRegisters, R::Type, 1, record.typeBytes, m_limits.general, true)))
        return TRecordResult::Failed;

    uint8_t piece[DataBytesPerRequest];
    for (uint64_t sent = 0; sent < even;) {
        const size_t n = size_t(std::min<uint64_t>(DataBytesPerRequest, even - sent));
        if (package.ReadData(record, sent, piece, n) != TSkpError::None)
            return TRecordResult::Failed;
        if (!step(TFirmwareStep::Data,
                Send(WriteMultipleRegisters, R::Data, uint16_t(n / 2), piece, m_limits.general, true)))
            return TRecordResult::Failed;
        sent += n;
        m_ui.RecordProgress(sent);
    }
    if (!step(TFirmwareStep::Crc, Send(WriteSingleRegister, R::Crc, crc, nullptr, m_limits.general, true)))
        return TRecordResult::Failed;
    // The device may take long to take the record; a second try would only
    // find it in another state.
    if (!step(TFirmwareStep::Commit,
            Send(WriteSingleRegister, R::Commit, 0, nullptr, m_limits.CommitTimeout(record.type), false)))
        return TRecordResult::Failed;
    return TRecordResult::Sent;
}

TFirmwareOutcome TFirmwareUpdate::UpdateFirmware(const std::string& path)
{
    packageError = TSkpError::None;
    if (!CheckDevicePassword()) {
        m_ui.ShowMessage(FirmwareText::WrongPassword);
        return TFirmwareOutcome::WrongPassword;
    }
    m_ui.UpdateStarted();

    TSkpFileSource file;
    if (!file.Open(path)) {
        packageError = TSkpError::NoFile;
        m_ui.ShowMessage(FirmwareText::ErrorReadingFile);
        return TFirmwareOutcome::NoFile;
    }
    TSkpPackage package;
    packageError = package.Open(&file);
    if (packageError != TSkpError::None) {
        file.Close();
        m_ui.ClearPath();
        m_ui.ShowMessage(FirmwareText::InvalidFileFormat);
        return TFirmwareOutcome::InvalidFile;
    }

    const int count = package.RecordCount();
    m_ui.DownloadStarted(count);
    TRecordResult result = TRecordResult::Sent;
    for (int i = 0; i < count && result == TRecordResult::Sent; ++i) {
        result = SendFirmwareRecord(package, i);
        if (result == TRecordResult::Sent)
            m_ui.RecordsDone(i + 1);
    }

    TFirmwareOutcome outcome = TFirmwareOutcome::Updated;
    if (result == TRecordResult::Sent) {
        if (!Send(ModbusFunction::Diagnostics, RestartSubFunction, RestartWord, nullptr, m_limits.general, true))
            m_ui.ShowMessage(FirmwareText::FailToRestart);
        m_ui.ShowCountdown();
        m_ui.ShowMessage(FirmwareText::UpdateSuccess);
    } else if (result == TRecordResult::Failed) {
        // Tells the device to drop the record; whether it hears is not asked.
        Send(ModbusFunction::WriteSingleRegister, FirmwareRegister::Control, 0, nullptr, m_limits.general, true);
        m_ui.ShowMessage(FirmwareText::UpdateFail);
        outcome = TFirmwareOutcome::RecordFailed;
    } else {
        outcome = TFirmwareOutcome::BadChecksum;
    }
    file.Close();
    m_ui.DownloadEnded();
    return outcome;
}
