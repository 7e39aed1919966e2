// Benchmark: the time to download a 1 MiB firmware package into the
// simulated server (commit delay 0) through a module's ModbusRequest,
// beside a libmodbus client sending the same register writes to the same
// server in the same run. Prints figures; --short sends 64 KiB once to see
// that everything runs. Runs in a network namespace of its own.
#include "admin/bench/libmodbusClient.h"
#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioGlobals.h"
#include "admin/maintenance/firmware/firmwareUpdate.h"
#include "admin/maintenance/firmware/skpCrc.h"
#include "admin/maintenance/firmware/skpWriter.h"
#include "admin/maintenance/moduleFirmwareLink.h"
#include "admin/model/modQ6120.h"
#include "lab/testsupport/privateNetwork.h"
#include "lab/testsupport/simProcess.h"

#include <QApplication>
#include <QTemporaryDir>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

using Clock = std::chrono::steady_clock;

// Notes when the records start and when the last one is taken; answers
// nothing, as the device has no password.
class TTimingUi : public TFirmwareUi {
public:
    Clock::time_point start, end;
    int done = 0;
    int count = 0;
    bool AskPassword(std::string&) override { return false; }
    void ShowMessage(const char* text) override { std::fprintf(stderr, "message: %s\n", text); }
    void UpdateStarted() override { }
    void ClearPath() override { }
    void DownloadStarted(int records) override
    {
        count = records;
        start = Clock::now();
    }
    void RecordStarted(int, int, uint64_t) override { }
    void RecordProgress(uint64_t) override { }
    void RecordsDone(int recordsDone) override
    {
        done = recordsDone;
        if (done == count)
            end = Clock::now();
    }
    void ShowCountdown() override { }
    void DownloadEnded() override { }
};

double OursSeconds(const twltest::SimProcess& sim, const std::string& path)
{
    TModQ6120 module(0);
    QList<TIOObject*> list;
    module.Attach(new QWidget, nullptr, nullptr);
    module.AttachToList(&list, nullptr, QStringLiteral("127.0.0.1"));
    module.Connections[0]->SetPort(sim.modbusPort());
    TModuleFirmwareLink link(&module);
    TTimingUi ui;
    TFirmwareUpdate update(link, ui);
    const TFirmwareOutcome outcome = update.UpdateFirmware(path);
    module.Detach();
    if (outcome != TFirmwareOutcome::Updated || ui.done != ui.count)
        return -1;
    return std::chrono::duration<double>(ui.end - ui.start).count();
}

// The same writes, record by record, as libmodbus sends them.
double LibmodbusSeconds(const twltest::SimProcess& sim, const std::vector<TSkpMemoryRecord>& records)
{
    modbus_t* ctx = ConnectLibmodbus(sim.modbusPort());
    if (!ctx)
        return -1;
    auto regs = [](const uint8_t* bytes, size_t n) {
        std::vector<uint16_t> r(n / 2);
        for (size_t i = 0; i < r.size(); ++i)
            r[i] = uint16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]);
        return r;
    };
    bool ok = true;
    const auto start = Clock::now();
    for (const auto& rec : records) {
        std::vector<uint8_t> data = rec.data;
        if (data.size() % 2)
            data.push_back(0);
        const uint32_t n = uint32_t(rec.data.size());
        const uint8_t length[4] = { uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24) };
        const uint8_t type[2] = { uint8_t(rec.type), 0 };
        uint8_t unlock[8] = {};
        std::memcpy(unlock, UnlockCode, sizeof UnlockCode);
        TSkpCrc crc;
        crc.Add(rec.data.data(), rec.data.size());
        ok = ok && modbus_write_register(ctx, 0x3000, 0) == 1;
        ok = ok && modbus_write_registers(ctx, 0x3001, 4, regs(unlock, 8).data()) == 4;
        ok = ok && modbus_write_registers(ctx, 0x300D, 2, regs(length, 4).data()) == 2;
        ok = ok && modbus_write_registers(ctx, 0x300F, 1, regs(type, 2).data()) == 1;
        for (size_t at = 0; ok && at < data.size(); at += 2 * DataRegistersPerRequest) {
            const size_t k = std::min<size_t>(2 * DataRegistersPerRequest, data.size() - at);
            ok = modbus_write_registers(ctx, 0x3010, int(k / 2), regs(data.data() + at, k).data()) == int(k / 2);
        }
        ok = ok && modbus_write_register(ctx, 0x3083, crc.Value()) == 1;
        ok = ok && modbus_write_register(ctx, 0x3084, 0) == 1;
        if (!ok)
            std::fprintf(stderr, "libmodbus write failed: %s\n", modbus_strerror(errno));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    modbus_close(ctx);
    modbus_free(ctx);
    return ok ? seconds : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "--short") == 0;
    const std::string why = twltest::EnterPrivateNetwork();
    QApplication app(argc, argv);
    if (!why.empty()) {
        std::fprintf(stderr, "bench_firmware: %s\n", why.c_str());
        return 1;
    }
    SocketTimeout = 5000;
    twltest::SimProcess sim({ "--restart-time", "100", "--commit-delay", "0" }, false);
    if (!sim.started()) {
        std::fprintf(stderr, "bench_firmware: the simulator did not start: %s\n", sim.output().c_str());
        return 1;
    }
    // Four records of a quarter each, as a package of that size holds.
    const size_t total = quick ? 64 * 1024 : 1024 * 1024;
    std::vector<TSkpMemoryRecord> records;
    for (int32_t type : { 0, 1, 2, 4 }) {
        std::vector<uint8_t> data(total / 4);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = uint8_t(i * 131 + type);
        records.push_back({ type, std::move(data) });
    }
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("bench.skp")).toStdString();
    const std::vector<uint8_t> bytes = SkpPackageBytes(records);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());

    const int runs = quick ? 1 : 3;
    std::printf(
        "firmware download of %zu KiB in 4 records into twinlane-sim on loopback (commit delay 0)\n", total / 1024);
    std::printf("%-4s %16s %16s %8s\n", "run", "ModbusRequest s", "libmodbus s", "ratio");
    int failures = 0;
    for (int run = 1; run <= runs; ++run) {
        if (!sim.waitUp())
            return 1;
        const double ours = OursSeconds(sim, path);
        if (!sim.waitUp()) // the update ends with a restart
            return 1;
        const double theirs = LibmodbusSeconds(sim, records);
        if (ours < 0 || theirs < 0) {
            ++failures;
            std::printf("%-4d failed (ours %.3f, libmodbus %.3f)\n", run, ours, theirs);
            continue;
        }
        std::printf("%-4d %16.3f %16.3f %8.2f\n", run, ours, theirs, theirs / ours);
    }
    std::printf("ratio: libmodbus time / ModbusRequest time\n");
    std::printf("records the server took: %s of %d\n", sim.status("records").c_str(), 2 * 4 * runs);
    return failures == 0 ? 0 : 1;
}
