#include "logger/core/syslogForwarder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHostInfo>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

TSyslogForwarder::TSyslogForwarder(QObject* parent, int queueLimit)
    : QObject(parent)
    , queueLimit_(std::max(1, queueLimit))
    , retry_(new QTimer(this))
    , pumpSoon_(new QTimer(this))
    , pumpTick_(new QTimer(this))
{
    pumpSoon_->setSingleShot(true);
    pumpSoon_->setInterval(0);
    connect(pumpSoon_, &QTimer::timeout, this, &TSyslogForwarder::PumpAny);
    // A busy event loop may leave socket write events waiting: the tick
    // keeps the frames moving in any case.
    pumpTick_->setInterval(kPumpTickMs);
    connect(pumpTick_, &QTimer::timeout, this, [this] {
        if (!queue_.empty() || PendingBytes() > 0)
            PumpAny();
    });
    origin_.HostName = QHostInfo::localHostName();
    origin_.ProcessId = QCoreApplication::applicationPid();
    retry_->setSingleShot(true);
    connect(retry_, &QTimer::timeout, this, &TSyslogForwarder::Start);
}

TSyslogForwarder::~TSyslogForwarder()
{
    Stop();
}

void TSyslogForwarder::Configure(const TForwardingSettings& settings)
{
    Stop();
    dropped_ += qint64(queue_.size());
    queue_.clear();
    settings_ = settings;
    settings_.Host = settings_.Host.trimmed();
    backoffMs_ = kFirstBackoffMs;
    if (settings_.Enabled() && settings_.Port >= 1 && settings_.Port <= 65535)
        Start();
    else
        SetState(TState::Off);
}

void TSyslogForwarder::Stop()
{
    retry_->stop();
    pumpSoon_->stop();
    pumpTick_->stop();
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    if (tcp_) {
        tcp_->disconnect(this);
        tcp_->abort();
        tcp_->deleteLater();
        tcp_ = nullptr;
    }
    // Frames the kernel never took go back, for a later start to send.
    for (auto it = inSocket_.rbegin(); it != inSocket_.rend(); ++it) {
        queue_.push_front(it->Bytes.mid(it->Bytes.indexOf(' ') + 1));
        --sent_;
    }
    inSocket_.clear();
    if (udp_) {
        udp_->deleteLater();
        udp_ = nullptr;
    }
}

void TSyslogForwarder::SetState(TState state)
{
    state_ = state;
    if (state == TState::Connected)
        pumpTick_->start();
    emit StatusChanged();
}

void TSyslogForwarder::Start()
{
    if (!settings_.Enabled())
        return;
    if (settings_.Protocol == TSyslogProtocol::Udp) {
        udp_ = new QUdpSocket(this);
        const QHostAddress literal(settings_.Host);
        if (!literal.isNull()) {
            udpAddress_ = literal;
            SetState(TState::Connected);
            SchedulePump();
            return;
        }
        SetState(TState::Resolving);
        lookupId_ = QHostInfo::lookupHost(settings_.Host, this, [this](const QHostInfo& info) {
            lookupId_ = -1;
            if (info.addresses().isEmpty()) {
                ScheduleRetry();
                return;
            }
            udpAddress_ = info.addresses().constFirst();
            backoffMs_ = kFirstBackoffMs;
            SetState(TState::Connected);
            SchedulePump();
        });
        return;
    }
    tcp_ = new QTcpSocket(this);
    connect(tcp_, &QTcpSocket::connected, this, [this] {
        backoffMs_ = kFirstBackoffMs;
        SetState(TState::Connected);
        SchedulePump();
    });
    connect(tcp_, &QTcpSocket::bytesWritten, this, &TSyslogForwarder::OnBytesWritten);
    connect(tcp_, &QTcpSocket::errorOccurred, this, &TSyslogForwarder::OnBroken);
    connect(tcp_, &QTcpSocket::disconnected, this, &TSyslogForwarder::OnBroken);
    // Whatever the collector says is of no interest; don't let it pile up.
    connect(tcp_, &QTcpSocket::readyRead, this, [this] { tcp_->readAll(); });
    SetState(TState::Connecting);
    tcp_->connectToHost(settings_.Host, quint16(settings_.Port));
}

void TSyslogForwarder::OnBroken()
{
    if (!tcp_ || state_ == TState::Waiting)
        return;
    Stop();
    ScheduleRetry();
}

void TSyslogForwarder::ScheduleRetry()
{
    SetState(TState::Waiting);
    retry_->start(backoffMs_);
    backoffMs_ = std::min(backoffMs_ * 2, kMaxBackoffMs);
}

void TSyslogForwarder::Enqueue(QByteArray&& message)
{
    if (int(queue_.size()) >= queueLimit_) {
        queue_.pop_front();
        ++dropped_;
    }
    queue_.push_back(std::move(message));
}

void TSyslogForwarder::Forward(const TEventRecord& record)
{
    if (state_ == TState::Off)
        return;
    const qint64 droppedBefore = dropped_;
    Enqueue(FormatSyslogMessage(record, origin_, clock_.Now()));
    // Alarms that arrive in one turn of the event loop go out together. A
    // storm keeps the loop in one turn for long (every connection's bytes
    // are decoded before it turns again): then they go in small batches
    // straight away, or the queue would overflow meanwhile.
    if (state_ == TState::Connected) {
        if (int(queue_.size()) >= kDirectBatch)
            PumpAny();
        else
            SchedulePump();
    }
    if (dropped_ != droppedBefore)
        emit StatusChanged();
}

void TSyslogForwarder::SchedulePump()
{
    if (!pumpSoon_->isActive())
        pumpSoon_->start();
}

void TSyslogForwarder::PumpAny()
{
    if (tcp_)
        Pump();
    else
        PumpUdp();
}

void TSyslogForwarder::Pump()
{
    if (!tcp_ || state_ != TState::Connected)
        return;
    // The socket hands the kernel one written block per write event: frames
    // go out in batches, or a busy window would send one frame per turn.
    QByteArray batch;
    const qint64 room = kSocketBufferLimit - tcp_->bytesToWrite();
    const qint64 sentBefore = sent_;
    while (!queue_.empty() && batch.size() < room) {
        QByteArray frame = OctetCountedFrame(queue_.front());
        queue_.pop_front();
        batch += frame;
        const qint64 size = frame.size();
        inSocket_.push_back({ std::move(frame), size });
        ++sent_;
    }
    if (batch.isEmpty())
        return;
    if (tcp_->write(batch) != batch.size()) {
        // Not taken at all: the frames wait again, in order.
        for (qint64 n = sent_ - sentBefore; n > 0; --n) {
            queue_.push_front(inSocket_.back().Bytes.mid(inSocket_.back().Bytes.indexOf(' ') + 1));
            inSocket_.pop_back();
            --sent_;
        }
        return;
    }
    // Hand the kernel what it takes now. Never called from within
    // bytesWritten: the socket reports no bytes written in a nested call.
    tcp_->flush();
    emit StatusChanged();
}

void TSyslogForwarder::PumpUdp()
{
    const bool any = !queue_.empty();
    while (udp_ && state_ == TState::Connected && !queue_.empty()) {
        const QByteArray& message = queue_.front();
        if (udp_->writeDatagram(message, udpAddress_, quint16(settings_.Port)) == message.size())
            ++sent_;
        else
            ++dropped_; // a datagram has no second chance
        queue_.pop_front();
    }
    if (any)
        emit StatusChanged();
}

void TSyslogForwarder::OnBytesWritten(qint64 bytes)
{
    while (bytes > 0 && !inSocket_.empty()) {
        TFrame& f = inSocket_.front();
        const qint64 taken = std::min(bytes, f.Left);
        f.Left -= taken;
        bytes -= taken;
        if (f.Left == 0)
            inSocket_.pop_front();
    }
    SchedulePump();
}

qint64 TSyslogForwarder::PendingBytes() const
{
    return tcp_ ? tcp_->bytesToWrite() : 0;
}

QString TSyslogForwarder::StatusText() const
{
    if (state_ == TState::Off)
        return {};
    QString state;
    switch (state_) {
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
        .arg(settings_.Host)
        .arg(settings_.Port)
        .arg(settings_.Protocol == TSyslogProtocol::Udp ? QStringLiteral("UDP") : QStringLiteral("TCP"))
        .arg(state)
        .arg(sent_)
        .arg(dropped_);
}
