// Any bytes into the alarm decoder: no crash, and a message it takes gives a
// row that is one log line and reads back field for field.
#include "logger/core/alarmMessage.h"
#include "logger/core/logFormat.h"

#include <cstdlib>

namespace {

void Check(QByteArrayView bytes, bool mustDecode)
{
    const std::optional<TEventRecord> rec = DecodeAlarm(bytes);
    if (!rec) {
        if (mustDecode)
            std::abort();
        return;
    }
    if (bytes.size() != kAlarmMessageSize || EncodeAlarmMessage(ParseAlarmMessage(bytes.data())) != bytes)
        std::abort();
    TEventRecord r = *rec;
    r.cells[colNumber] = "01";
    const QByteArray line = CommaText(r.cells) + "\r\n";
    int lines = 0;
    SplitLines(line, [&](QByteArrayView l) {
        ++lines;
        const std::vector<QByteArray> fields = SplitCommaText(l);
        if (fields.size() != r.cells.size())
            std::abort();
        for (size_t i = 0; i < fields.size(); ++i)
            if (fields[i] != r.cells[i])
                std::abort();
    });
    if (lines != 1)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    Check(bytes, false);
    // The same bytes made into a message that passes the checks, so the
    // decoding behind them is reached too.
    QByteArray fixed = bytes.first(std::min<qsizetype>(bytes.size(), kAlarmMessageSize)).toByteArray();
    fixed.resize(kAlarmMessageSize, '\0');
    fixed[0] = 1;
    AlarmMessage m = ParseAlarmMessage(fixed.constData());
    Check(EncodeAlarmMessage(m), true);
    return 0;
}
