// Any bytes as a log file: the line and field splitters never crash and
// never run past their input; and six fields made from the bytes, written
// as one comma-text line, read back as the same six fields.
#include "logger/core/logFormat.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char*>(data), qsizetype(size));
    SplitLines(text, [&](QByteArrayView line) {
        if (line.contains('\r') || line.contains('\n') || line.contains('\0'))
            std::abort();
        QByteArray out;
        std::vector<std::pair<qsizetype, qsizetype>> spans;
        const int n = SplitCommaText(line, out, spans);
        if (size_t(n) != spans.size())
            std::abort();
        for (const auto& [start, length] : spans)
            if (start < 0 || length < 0 || start + length > out.size())
                std::abort();
    });

    // Fields as the program writes them never hold CR, LF or NUL.
    std::array<QByteArray, kEventColumnCount> fields;
    size_t f = 0;
    for (char c : text) {
        if (uint8_t(c) == 0xFF && f + 1 < fields.size())
            ++f;
        else if (c != '\r' && c != '\n' && c != '\0')
            fields[f] += c;
    }
    int lines = 0;
    SplitLines(CommaText(fields) + "\r\n", [&](QByteArrayView line) {
        ++lines;
        const std::vector<QByteArray> back = SplitCommaText(line);
        if (back.size() != fields.size())
            std::abort();
        for (size_t i = 0; i < back.size(); ++i)
            if (back[i] != fields[i])
                std::abort();
    });
    if (lines != 1)
        std::abort();
    return 0;
}
