#include "admin/shell/shellHelpers.h"

#include "admin/discovery/Iphelp.h"

#include <QFile>
#include <turbojpeg.h>

#include <memory>

QString ElapsedText(const QDateTime& start, const QDateTime& now)
{
    const qint64 seconds = std::max<qint64>(0, start.secsTo(now));
    const qint64 days = seconds / 86400;
    const qint64 rest = seconds % 86400;
    return QStringLiteral("%1:%2:%3:%4")
        .arg(days)
        .arg(rest / 3600, 2, 10, QLatin1Char('0'))
        .arg(rest % 3600 / 60, 2, 10, QLatin1Char('0'))
        .arg(rest % 60, 2, 10, QLatin1Char('0'));
}

QString HostLabel(const QList<tIPNODE>& interfaces)
{
    constexpr int32_t kOperational = 5;
    constexpr int32_t kSoftwareLoopback = 24;
    QString label = QStringLiteral("Host");
    bool first = true;
    for (const tIPNODE& i : interfaces) {
        if (i.OperStatus != kOperational || i.InterfaceType == kSoftwareLoopback)
            continue;
        label += (first ? QStringLiteral(" : [") : QStringLiteral("/[")) + i.Address + QLatin1Char(']');
        first = false;
    }
    return label;
}

QImage LoadJpegImage(const QString& path, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return QImage();
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    // A banner is small; anything this big is not the file we want.
    constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;
    if (file.size() > kMaxFileSize)
        return fail(QStringLiteral("\"%1\" is too large for a picture").arg(path));
    QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return fail(QStringLiteral("\"%1\" is empty").arg(path));

    std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    if (!decoder)
        return fail(QStringLiteral("JPEG decoder unavailable"));
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    const auto size = static_cast<unsigned long>(bytes.size());
    if (tjDecompressHeader3(decoder.get(), data, size, &width, &height, &subsampling, &colorspace) != 0 || width <= 0
        || height <= 0)
        return fail(
            QStringLiteral("JPEG error: %1 (\"%2\")").arg(QString::fromLatin1(tjGetErrorStr2(decoder.get())), path));
    // A banner strip is a few hundred pixels; a header claiming far more
    // would have us allocate and decode gigabytes of nothing.
    constexpr qint64 kMaxPixels = 4096 * 4096;
    if (qint64(width) * height > kMaxPixels)
        return fail(QStringLiteral("\"%1\" is too large for a picture").arg(path));

    QImage image(width, height, QImage::Format_RGB888);
    if (image.isNull())
        return fail(QStringLiteral("Out of memory for \"%1\"").arg(path));
    // A warning (a file cut short, say) still leaves a picture worth showing.
    if (tjDecompress2(decoder.get(), data, size, image.bits(), width, int(image.bytesPerLine()), height, TJPF_RGB,
            TJFLAG_ACCURATEDCT)
            != 0
        && tjGetErrorCode(decoder.get()) != TJERR_WARNING)
        return fail(
            QStringLiteral("JPEG error: %1 (\"%2\")").arg(QString::fromLatin1(tjGetErrorStr2(decoder.get())), path));
    return image;
}
