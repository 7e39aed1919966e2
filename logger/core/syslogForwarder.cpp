#include "logger/core/syslogForwarder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHostInfo>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

TSyslogForwarder::TSyslogForwarder(QObject* parent, int queueLimit)
    : QObject(parent)
    , m_queueLimit(std::max(1, queueLimit))
    , m_retry(new QTimer(this))
    , m_pumpSoon(new QTimer(this))
    , m_pumpTick(new QTimer(this))
{
    m_pumpSoon->setSingleShot(true);
    m_pumpSoon->setInterval(0);
    connect(m_pumpSoon, &QTimer::timeout, this, &TSyslogForwarder::PumpAny);
    // A busy event loop may leave socket write events waiting: the tick
    // keeps the frames moving in any case.
    m_pumpTick->setInterval(kPumpTickMs);
    connect(m_pumpTick, &QTimer::timeout, this, [this] {
        if (!m_queue.empty() || PendingBytes() > 0)
            PumpAny();
    });
    m_origin.hostName = QHostInfo::localHostName();
    m_origin.processId = QCoreApplication::applicationPid();
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &TSyslogForwarder::Start);
}

TSyslogForwarder::~TSyslogForwarder()
{
    Stop();
}

void TSyslogForwarder::Configure(const TForwardingSettings& settings)
{
    Stop();
    m_dropped += qint64(m_queue.size());
    m_queue.clear();
    m_settings = settings;
    m_settings.Host = m_settings.Host.trimmed();
    m_backoffMs = kFirstBackoffMs;
    if (m_settings.Enabled() && m_settings.Port >= 1 && m_settings.Port <= 65535)
        Start();
    else
        SetState(TState::Off);
}

void TSyslogForwarder::Stop()
{
    m_retry->stop();
    m_pumpSoon->stop();
    m_pumpTick->stop();
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId = -1;
    if (m_tcp) {
        m_tcp->disconnect(this);
        m_tcp->abort();
        m_tcp->deleteLater();
        m_tcp = nullptr;
    }
    // Frames the kernel never took go back, for a later start to send.
    for (auto it = m_inSocket.rbegin(); it != m_inSocket.rend(); ++it) {
        m_queue.push_front(it->bytes.mid(it->bytes.indexOf(' ') + 1));
        --m_sent;
    }
    m_inSocket.clear();
    if (m_udp) {
        m_udp->deleteLater();
        m_udp = nullptr;
    }
}

void TSyslogForwarder::SetState(TState state)
{
    m_state = state;
    if (state == TState::Connected)
        m_pumpTick->start();
    emit StatusChanged();
}

void TSyslogForwarder::Start()
{
    if (!m_settings.Enabled())
        return;
    if (m_settings.Protocol == TSyslogProtocol::Udp) {
        m_udp = new QUdpSocket(this);
        const QHostAddress literal(m_settings.Host);
        if (!literal.isNull()) {
            m_udpAddress = literal;
            SetState(TState::Connected);
            SchedulePump();
            return;
        }
        SetState(TState::Resolving);
        m_lookupId = QHostInfo::lookupHost(m_settings.Host, this, [this](const QHostInfo& info) {
            m_lookupId = -1;
            if (info.addresses().isEmpty()) {
                ScheduleRetry();
                return;
            }
            m_udpAddress = info.addresses().constFirst();
            m_backoffMs = kFirstBackoffMs;
            SetState(TState::Connected);
            SchedulePump();
        });
        return;
    }
    m_tcp = new QTcpSocket(this);
    connect(m_tcp, &QTcpSocket::connected, this, [this] {
        m_backoffMs = kFirstBackoffMs;
        SetState(TState::Connected);
        SchedulePump();
    });
    connect(m_tcp, &QTcpSocket::bytesWritten, this, &TSyslogForwarder::OnBytesWritten);
    connect(m_tcp, &QTcpSocket::errorOccurred, this, &TSyslogForwarder::OnBroken);
    connect(m_tcp, &QTcpSocket::disconnected, this, &TSyslogForwarder::OnBroken);
    // Whatever the collector says is of no interest; don't let it pile up.
    connect(m_tcp, &QTcpSocket::readyRead, this, [this] { m_tcp->readAll(); });
    SetState(TState::Connecting);
    m_tcp->connectToHost(m_settings.Host, quint16(m_settings.Port));
}

void TSyslogForwarder::OnBroken()
{
    if (!m_tcp || m_state == TState::Waiting)
        return;
    Stop();
    ScheduleRetry();
}

void TSyslogForwarder::ScheduleRetry()
{
    SetState(TState::Waiting);
    m_retry->start(m_backoffMs);
    m_backoffMs = std::min(m_backoffMs * 2, kMaxBackoffMs);
}

void TSyslogForwarder::Enqueue(QByteArray&& message)
{
    if (int(m_queue.size()) >= m_queueLimit) {
        m_queue.pop_front();
        ++m_dropped;
    }
    m_queue.push_back(std::move(message));
}

void TSyslogForwarder::Forward(const TEventRecord& record)
{
    if (m_state == TState::Off)
        return;
    const qint64 droppedBefore = m_dropped;
    Enqueue(FormatSyslogMessage(record, m_origin, m_clock.Now()));
    // Alarms that arrive in one turn of the event loop go out together. A
    // storm keeps the loop in one turn for long (every connection's bytes
    // are decoded before it turns again): then they go in small batches
    // straight away, or the queue would overflow meanwhile.
    if (m_state == TState::Connected) {
        if (int(m_queue.size()) >= kDirectBatch)
            PumpAny();
        else
            SchedulePump();
    }
    if (m_dropped != droppedBefore)
        emit StatusChanged();
}

void TSyslogForwarder::SchedulePump()
{
    if (!m_pumpSoon->isActive())
        m_pumpSoon->start();
}

void TSyslogForwarder::PumpAny()
{
    if (m_tcp)
        Pump();
    else
        PumpUdp();
}

void TSyslogForwarder::Pump()
{
    if (!m_tcp || m_state != TState::Connected)
        return;
    // The socket hands the kernel one written block per write event: frames
    // go out in batches, or a busy window would send one frame per turn.
    QByteArray batch;
    const qint64 room = kSocketBufferLimit - m_tcp->bytesToWrite();
    const qint64 sentBefore = m_sent;
    while (!m_queue.empty() && batch.size() < room) {
        QByteArray frame = OctetCountedFrame(m_queue.front());
        m_queue.pop_front();
        batch += frame;
        const qint64 size = frame.size();
        m_inSocket.push_back({ std::move(frame), size });
        ++m_sent;
    }
    if (batch.isEmpty())
        return;
    if (m_tcp->write(batch) != batch.size()) {
        // Not taken at all: the frames wait again, in order.
        for (qint64 n = m_sent - sentBefore; n > 0; --n) {
            m_queue.push_front(m_inSocket.back().bytes.mid(m_inSocket.back().bytes.indexOf(' ') + 1));
            m_inSocket.pop_back();
            --m_sent;
        }
        return;
    }
    // Hand the kernel what it takes now. Never called from within
    // bytesWritten: the socket reports no bytes written in a nested call.
    m_tcp->flush();
    emit StatusChanged();
}

void TSyslogForwarder::PumpUdp()
{
    const bool any = !m_queue.empty();
    while (m_udp && m_state == TState::Connected && !m_queue.empty()) {
        const QByteArray& message = m_queue.front();
        if (m_udp->writeDatagram(message, m_udpAddress, quint16(m_settings.Port)) == message.size())
            ++m_sent;
        else
            ++m_dropped; // a datagram has no second chance
        m_queue.pop_front();
    }
    if (any)
        emit StatusChanged();
}

void TSyslogForwarder::OnBytesWritten(qint64 bytes)
{
    while (bytes > 0 && !m_inSocket.empty()) {
        TFrame& f = m_inSocket.front();
        const qint64 taken = std::min(bytes, f.left);
        f.left -= taken;
        bytes -= taken;
        if (f.left == 0)
            m_inSocket.pop_front();
    }
    SchedulePump();
}

qint64 TSyslogForwarder::PendingBytes() const
{
    return m_tcp ? m_tcp->bytesToWrite() : 0;
}

QString TSyslogForwarder::StatusText() const
{
    if (m_state == TState::Off)
        return {};
    QString state;
    switch (m_state) {
    case TState::Connected:
        state = QStringLiteral("connected");
        break;
    case TState::Waiting:
        state = QStringLiteral("no connection, retrying");
        break;
    default:
        state = QStringLiteral("connecting");
        break;
    }
    return QStringLiteral("Central log %1:%2 (%3, %4): %5 sent, %6 dropped")
        .arg(m_settings.Host)
        .arg(m_settings.Port)
        .arg(m_settings.Protocol == TSyslogProtocol::Udp ? QStringLiteral("UDP") : QStringLiteral("TCP"))
        .arg(state)
        .arg(m_sent)
        .arg(m_dropped);
}
