#pragma once
// Sends every accepted alarm to a central syslog collector, without ever
// making reception wait for it.
//
// Messages wait in a bounded queue; when it is full the oldest waiting one is
// dropped and counted. TCP frames are handed to the socket only while its own
// buffer holds less than kSocketBufferLimit bytes, so a collector that stops
// reading costs at most that plus the queue. A broken connection is tried
// again after a back-off that doubles up to kMaxBackoffMs.
//
// Sent twice? Never, unless it may have been lost: a frame that the kernel
// took before the connection broke counts as sent and is not repeated (if the
// collector never read it, it is lost unseen: syslog over TCP has no
// acknowledgement). A frame still wholly or partly in the socket's own buffer
// when the connection breaks goes back to the head of the queue and is sent
// whole on the next connection; a partial frame on the old connection is no
// message to the collector.
#include "logger/core/forwardingSettings.h"
#include "logger/core/syslogClock.h"
#include "logger/core/syslogMessage.h"

#include <QHostAddress>
#include <QObject>
#include <deque>

class QTcpSocket;
class QTimer;
class QUdpSocket;

class TSyslogForwarder : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultQueueLimit = 10000;
    static constexpr qint64 kSocketBufferLimit = 64 * 1024;
    static constexpr int kFirstBackoffMs = 250;
    static constexpr int kMaxBackoffMs = 30000;
    static constexpr int kPumpTickMs = 20;
    static constexpr int kDirectBatch = 16;

    enum class TState { Off, Resolving, Connecting, Connected, Waiting };

    explicit TSyslogForwarder(QObject* parent = nullptr, int queueLimit = kDefaultQueueLimit);
    ~TSyslogForwarder() override;

    // Starts over with the new collector: the old connection and queue go
    // (the queued messages count as dropped). An empty host turns it off.
    void Configure(const TForwardingSettings& settings);
    const TForwardingSettings& Settings() const { return m_settings; }

    // Queues the alarm and returns at once. Nothing when off.
    void Forward(const TEventRecord& record);

    TState State() const { return m_state; }
    qint64 SentCount() const { return m_sent; } // handed to the kernel
    qint64 DroppedCount() const { return m_dropped; }
    int QueuedCount() const { return int(m_queue.size()); }
    // Bytes in the socket's own buffer, not yet taken by the kernel.
    qint64 PendingBytes() const;
    int QueueLimit() const { return m_queueLimit; }

    // One line for the status strip; empty when off.
    QString StatusText() const;

    // Reception time for the messages (tests fix it); default: now.
    void SetOrigin(const TSyslogOrigin& origin) { m_origin = origin; }

signals:
    void StatusChanged();

private:
    void Start();
    void Stop();
    void SchedulePump();
    void PumpAny();
    void Pump();
    void PumpUdp();
    void OnBytesWritten(qint64 bytes);
    void OnBroken();
    void ScheduleRetry();
    void SetState(TState state);
    void Enqueue(QByteArray&& message);

    struct TFrame {
        QByteArray bytes;
        qint64 left; // bytes the kernel has not taken yet
    };

    TForwardingSettings m_settings;
    TSyslogOrigin m_origin;
    TSyslogClock m_clock;
    int m_queueLimit;
    TState m_state = TState::Off;
    std::deque<QByteArray> m_queue; // whole messages, not framed
    std::deque<TFrame> m_inSocket; // frames handed to the TCP socket
    QTcpSocket* m_tcp = nullptr;
    QUdpSocket* m_udp = nullptr;
    QHostAddress m_udpAddress;
    QTimer* m_retry;
    int m_backoffMs = kFirstBackoffMs;
    int m_lookupId = -1;
    QTimer* m_pumpSoon; // the next turn of the event loop
    QTimer* m_pumpTick;
    qint64 m_sent = 0;
    qint64 m_dropped = 0;
};
